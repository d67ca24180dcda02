# The rooms of src/, lowest first, and for each the rooms its library includes. This one table
# makes each room library's link line (src/CMakeLists.txt), and the test rooms-layering
# (cmake/check-rooms.py) holds every include in src/ to it: a room names only rooms below it;
# its library includes exactly the rooms it names; its tests, fakes and backends include only
# those and what they link in turn.
set(NIMBRIX_ROOMS version format platform config telemetry uplink update outputs sondehub web app)
set(NIMBRIX_ROOM_version "")
set(NIMBRIX_ROOM_format "")
set(NIMBRIX_ROOM_platform format)
set(NIMBRIX_ROOM_config format version)
set(NIMBRIX_ROOM_telemetry format platform)
set(NIMBRIX_ROOM_uplink config format platform telemetry)
set(NIMBRIX_ROOM_update config format platform)
set(NIMBRIX_ROOM_outputs format platform telemetry uplink version)
set(NIMBRIX_ROOM_sondehub config format outputs platform telemetry version)
set(NIMBRIX_ROOM_web format outputs platform telemetry)
set(NIMBRIX_ROOM_app config format outputs platform sondehub telemetry update uplink version web)
