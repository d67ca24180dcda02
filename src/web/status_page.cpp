#include "web/status_page.h"

namespace nimbrix {

// Every text from the station goes into the page through textContent, never as markup.
const std::string_view kStatusPage = R"page(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>NIMBRIX station</title>
<style>
:root { --bg:#0f1419; --card:#1a2129; --text:#e6e6e6; --dim:#8b97a3; --line:#2c3640;
        --up:#3fb950; --warn:#d29922; --bad:#f85149; --accent:#58a6ff; }
* { box-sizing: border-box; }
body { margin:0; background:var(--bg); color:var(--text);
       font:15px/1.4 system-ui, -apple-system, "Segoe UI", Roboto, sans-serif; }
header { display:flex; flex-wrap:wrap; gap:.3em 1em; align-items:baseline; padding:.7em 1em;
         background:var(--card); border-bottom:1px solid var(--line); position:sticky; top:0; }
header h1 { font-size:1.15em; margin:0; }
header .dim { font-size:.9em; }
main { display:grid; gap:.8em; padding:.8em; grid-template-columns:1fr; max-width:1200px;
       margin:0 auto; }
@media (min-width: 800px) { main { grid-template-columns:1fr 1fr; } .wide { grid-column:1 / -1; } }
section { background:var(--card); border:1px solid var(--line); border-radius:8px;
          padding:.7em .9em; min-width:0; }
h2 { font-size:.95em; margin:0 0 .5em; color:var(--dim); font-weight:600;
     text-transform:uppercase; letter-spacing:.04em; }
.dim { color:var(--dim); }
.values { display:grid; grid-template-columns:repeat(auto-fill, minmax(9.5em, 1fr)); gap:.5em; }
.value .label { font-size:.78em; color:var(--dim); }
.value .v { font-size:1.25em; font-variant-numeric:tabular-nums; overflow-wrap:anywhere; }
.big .v { font-size:1.6em; font-weight:600; }
.state { display:inline-block; padding:.05em .5em; border-radius:1em; font-size:.85em;
         font-weight:600; color:#0f1419; background:var(--dim); }
.state.up { background:var(--up); } .state.connecting, .state.failing { background:var(--warn); }
.state.down { background:var(--bad); }
.dest { border-top:1px solid var(--line); padding:.5em 0; }
.dest:first-of-type { border-top:0; }
.dest .head { display:flex; flex-wrap:wrap; gap:.2em .6em; align-items:baseline; }
.dest .name { font-weight:600; overflow-wrap:anywhere; }
.dest .facts { font-size:.85em; color:var(--dim); }
.dest .msg { font-family:ui-monospace, monospace; font-size:.82em; overflow-wrap:anywhere; }
ol.lines { list-style:none; margin:0; padding:0; font-family:ui-monospace, monospace;
           font-size:.8em; max-height:22em; overflow:auto; }
ol.lines li { padding:.15em 0; border-top:1px solid var(--line); overflow-wrap:anywhere; }
ol.lines li .dim { margin-right:.6em; }
svg { width:100%; height:auto; display:block; background:#11171d; border-radius:6px; }
svg text { fill:var(--dim); font-size:11px; }
#status.stale { color:var(--bad); font-weight:600; }
#sondes { display:grid; gap:.7em; grid-template-columns:repeat(auto-fill, minmax(20em, 1fr)); }
.sondecard { border:1px solid var(--line); border-radius:8px; padding:.6em .7em; min-width:0; }
.sondecard.followed { border-color:var(--accent); }
.sondecard .head { display:flex; flex-wrap:wrap; gap:.2em .6em; align-items:baseline;
                   margin-bottom:.4em; }
.sondecard .serial { font-weight:600; font-size:1.15em; overflow-wrap:anywhere; }
.badge { display:inline-block; padding:.05em .5em; border-radius:1em; font-size:.8em;
         font-weight:600; color:#0f1419; background:var(--dim); }
.badge.followed { background:var(--accent); }
.sondecard .values { grid-template-columns:repeat(auto-fill, minmax(6.5em, 1fr)); }
.sondecard .value .v { font-size:1.05em; }
.sondecard .charts { display:grid; grid-template-columns:1fr 1fr; gap:.4em; margin-top:.5em; }
@media (max-width: 560px) { .sondecard .charts { grid-template-columns:1fr; } }
</style>
</head>
<body>
<header>
  <h1 id="callsign">NIMBRIX</h1>
  <span class="dim" id="version"></span>
  <span class="dim">up <span id="uptime">-</span></span>
  <span class="dim">decoder: <span id="decoder">-</span></span>
  <span id="status" class="dim">connecting...</span>
</header>
<main>
  <section class="wide">
    <h2>Sonde</h2>
    <div class="values" id="sonde">
      <div class="value big"><div class="label">Serial#</div><div class="v" id="serial">-</div></div>
      <div class="value big"><div class="label">Altitude m</div><div class="v" id="altitude">-</div></div>
      <div class="value big"><div class="label">Climb m/s</div><div class="v" id="climb">-</div></div>
      <div class="value"><div class="label">Latitude</div><div class="v" id="latitude">-</div></div>
      <div class="value"><div class="label">Longitude</div><div class="v" id="longitude">-</div></div>
      <div class="value"><div class="label">Course</div><div class="v" id="course">-</div></div>
      <div class="value"><div class="label">Speed km/h</div><div class="v" id="speed">-</div></div>
      <div class="value"><div class="label">Pressure mB</div><div class="v" id="pressure">-</div></div>
      <div class="value"><div class="label">Temperature oC</div><div class="v" id="temperature">-</div></div>
      <div class="value"><div class="label">Humidity %</div><div class="v" id="humidity">-</div></div>
      <div class="value"><div class="label">Frame</div><div class="v" id="frame">-</div></div>
      <div class="value"><div class="label">Kind</div><div class="v" id="kind">-</div></div>
      <div class="value"><div class="label">QRG</div><div class="v" id="qrg">-</div></div>
      <div class="value"><div class="label">Time (UTC)</div><div class="v" id="time">-</div></div>
      <div class="value"><div class="label">Age s</div><div class="v" id="age">-</div></div>
    </div>
  </section>
  <section class="wide">
    <h2>Destinations</h2>
    <div id="destinations"><span class="dim">none yet</span></div>
  </section>
  <section>
    <h2>Altitude over time</h2>
    <svg id="altitudeChart" viewBox="0 0 400 220" role="img" aria-label="altitude over time"></svg>
  </section>
  <section>
    <h2>Track</h2>
    <svg id="trackChart" viewBox="0 0 400 300" role="img" aria-label="track"></svg>
  </section>
  <section class="wide">
    <h2>Sondes heard <span class="dim" id="sondeCount"></span></h2>
    <div id="sondes"><span class="dim">none yet</span></div>
  </section>
  <section class="wide">
    <h2>Last lines sent</h2>
    <ol class="lines" id="lines"></ol>
  </section>
  <section class="wide">
    <h2>Errors</h2>
    <ol class="lines" id="records"></ol>
  </section>
</main>
<script>
"use strict";
const SVGNS = "http://www.w3.org/2000/svg";
const $ = (id) => document.getElementById(id);
function set(id, text) { $(id).textContent = text; }
function fixed(v, digits) { return (typeof v === "number") ? v.toFixed(digits) : "-"; }
function clock(iso) { return iso ? iso.substring(11, 19) : "-"; }
function ago(iso, nowMs) {
  if (!iso) return "never";
  const s = Math.max(0, Math.round((nowMs - Date.parse(iso)) / 1000));
  return s < 120 ? s + " s ago" : s < 7200 ? Math.round(s / 60) + " min ago"
                                            : Math.round(s / 3600) + " h ago";
}
function duration(s) {
  const d = Math.floor(s / 86400), h = Math.floor(s / 3600) % 24, m = Math.floor(s / 60) % 60;
  return (d ? d + "d " : "") + (d || h ? h + "h " : "") + m + "m " + (s % 60) + "s";
}
function el(tag, cls, text) {
  const e = document.createElement(tag);
  if (cls) e.className = cls;
  if (text !== undefined) e.textContent = text;
  return e;
}
function svg(tag, attrs, text) {
  const e = document.createElementNS(SVGNS, tag);
  for (const k in attrs) e.setAttribute(k, attrs[k]);
  if (text !== undefined) e.textContent = text;
  return e;
}

function showSonde(s) {
  if (!s) return;
  set("serial", s.serial || "-");
  set("altitude", fixed(s.altitude, 0));
  set("climb", fixed(s.climb, 1));
  set("latitude", fixed(s.latitude, 5));
  set("longitude", fixed(s.longitude, 5));
  set("course", typeof s.course === "number" ? String(Math.round(s.course)).padStart(3, "0") + "\u00b0" : "-");
  set("speed", fixed(s.speedKmh, 1));
  set("pressure", fixed(s.pressure, 1));
  set("temperature", fixed(s.temperature, 1));
  set("humidity", fixed(s.humidity, 0));
  set("frame", String(s.frame));
  set("kind", s.kind || "-");
  set("qrg", s.frequency || "-");
  set("time", clock(s.time));
  set("age", String(s.ageSeconds));
}

function showDestinations(list, nowMs) {
  const box = $("destinations");
  box.replaceChildren();
  if (!list.length) { box.appendChild(el("span", "dim", "none yet")); return; }
  for (const d of list) {
    const row = el("div", "dest");
    row.dataset.kind = d.kind;
    const head = el("div", "head");
    head.appendChild(el("span", "state " + d.state, d.state));
    head.appendChild(el("span", "kind dim", d.kind));
    head.appendChild(el("span", "name", d.name));
    if (d.stateText) head.appendChild(el("span", "dim", d.stateText));
    row.appendChild(head);
    row.appendChild(el("div", "facts", "sent " + d.sent + " \u00b7 failed " + d.failed +
        " \u00b7 last success " + ago(d.lastSuccess, nowMs) + " \u00b7 since " + clock(d.since)));
    if (d.lastMessage) row.appendChild(el("div", "msg", d.lastMessage));
    box.appendChild(row);
  }
}

function showList(id, list, key) {
  const box = $(id);
  box.replaceChildren();
  if (!list.length) { box.appendChild(el("li", "dim", "none")); return; }
  for (let i = list.length - 1; i >= 0; --i) {
    const li = el("li");
    li.appendChild(el("span", "dim", clock(list[i].time)));
    li.appendChild(document.createTextNode(list[i][key]));
    box.appendChild(li);
  }
}

function range(values) {
  let lo = Infinity, hi = -Infinity;
  for (const v of values) { if (v < lo) lo = v; if (v > hi) hi = v; }
  if (hi - lo < 1e-9) { lo -= 1; hi += 1; }
  return [lo, hi];
}

function drawAltitude(box, track) {
  box.replaceChildren();
  const pts = track.filter(p => typeof p.altitude === "number");
  if (pts.length < 1) { box.appendChild(svg("text", {x: 150, y: 110}, "no positions yet")); return; }
  const W = 400, H = 220, L = 48, R = 8, T = 10, B = 24;
  const ts = pts.map(p => Date.parse(p.time)), as = pts.map(p => p.altitude);
  const [t0, t1] = range(ts), [a0, a1] = range(as);
  const x = t => L + (t - t0) / (t1 - t0) * (W - L - R);
  const y = a => H - B - (a - a0) / (a1 - a0) * (H - T - B);
  for (const a of [a0, (a0 + a1) / 2, a1]) {
    box.appendChild(svg("line", {x1: L, x2: W - R, y1: y(a), y2: y(a), stroke: "#2c3640"}));
    box.appendChild(svg("text", {x: 2, y: y(a) + 4}, Math.round(a) + " m"));
  }
  box.appendChild(svg("text", {x: L, y: H - 6}, clock(pts[0].time)));
  box.appendChild(svg("text", {x: W - R - 50, y: H - 6}, clock(pts[pts.length - 1].time)));
  box.appendChild(svg("polyline", {fill: "none", stroke: "#58a6ff", "stroke-width": 2,
      points: pts.map((p, i) => x(ts[i]).toFixed(1) + "," + y(as[i]).toFixed(1)).join(" ")}));
}

function drawTrack(box, track) {
  box.replaceChildren();
  const pts = track.filter(p => typeof p.latitude === "number" && typeof p.longitude === "number");
  if (pts.length < 1) { box.appendChild(svg("text", {x: 150, y: 150}, "no positions yet")); return; }
  const W = 400, H = 300, M = 16;
  // Degrees of longitude shrink towards the poles: scale them by the cosine of the latitude.
  const k = Math.cos(pts[pts.length - 1].latitude * Math.PI / 180) || 1;
  const xs = pts.map(p => p.longitude * k), ys = pts.map(p => p.latitude);
  let [x0, x1] = range(xs), [y0, y1] = range(ys);
  const span = Math.max(x1 - x0, (y1 - y0) * (W - 2 * M) / (H - 2 * M));
  const cx = (x0 + x1) / 2, cy = (y0 + y1) / 2, s = (W - 2 * M) / span;
  const px = v => W / 2 + (v - cx) * s, py = v => H / 2 - (v - cy) * s;
  box.appendChild(svg("polyline", {fill: "none", stroke: "#58a6ff", "stroke-width": 2,
      points: pts.map((p, i) => px(xs[i]).toFixed(1) + "," + py(ys[i]).toFixed(1)).join(" ")}));
  box.appendChild(svg("circle", {cx: px(xs[0]), cy: py(ys[0]), r: 4, fill: "#8b97a3"}));
  const n = pts.length - 1;
  box.appendChild(svg("circle", {cx: px(xs[n]), cy: py(ys[n]), r: 6, fill: "#3fb950"}));
  const km = span * 111.32;
  box.appendChild(svg("text", {x: 6, y: H - 6}, "width " + km.toFixed(1) + " km, north up"));
}

function value(label, text) {
  const v = el("div", "value");
  v.appendChild(el("div", "label", label));
  v.appendChild(el("div", "v", text));
  return v;
}

// One card per sonde heard, the followed one first: its own values, altitude curve and track.
function showSondes(list) {
  const box = $("sondes");
  box.replaceChildren();
  set("sondeCount", list.length ? "(" + list.length + ")" : "");
  if (!list.length) { box.appendChild(el("span", "dim", "none yet")); return; }
  for (const s of list) {
    const card = el("div", "sondecard" + (s.followed ? " followed" : ""));
    card.dataset.serial = s.serial;
    const head = el("div", "head");
    head.appendChild(el("span", "serial", s.serial || "-"));
    head.appendChild(el("span", "badge", s.type || s.kind || "unknown kind"));
    if (s.followed) head.appendChild(el("span", "badge followed", "followed"));
    head.appendChild(el("span", "dim", "heard " + s.ageSeconds + " s ago"));
    card.appendChild(head);
    const values = el("div", "values");
    values.appendChild(value("Altitude m", fixed(s.altitude, 0)));
    values.appendChild(value("Climb m/s", fixed(s.climb, 1)));
    values.appendChild(value("Latitude", fixed(s.latitude, 5)));
    values.appendChild(value("Longitude", fixed(s.longitude, 5)));
    values.appendChild(value("QRG", s.frequency || "-"));
    values.appendChild(value("Frame", String(s.frame)));
    values.appendChild(value("Time (UTC)", clock(s.time)));
    card.appendChild(values);
    const charts = el("div", "charts");
    const altitude = svg("svg", {viewBox: "0 0 400 220", role: "img",
                                 "aria-label": "altitude over time", "class": "altitude"});
    const track = svg("svg", {viewBox: "0 0 400 300", role: "img", "aria-label": "track",
                              "class": "track"});
    charts.appendChild(altitude);
    charts.appendChild(track);
    card.appendChild(charts);
    box.appendChild(card);
    drawAltitude(altitude, s.track);
    drawTrack(track, s.track);
  }
}

function show(j) {
  const nowMs = Date.parse(j.station.now);
  set("callsign", j.station.callsign);
  set("version", j.station.version);
  set("uptime", duration(j.station.uptimeSeconds));
  set("decoder", j.station.decoderAnswers ? "answering" : "not answering");
  showSonde(j.sonde);
  showDestinations(j.destinations, nowMs);
  drawAltitude($("altitudeChart"), j.track);
  drawTrack($("trackChart"), j.track);
  showSondes(j.sondes || []);
  showList("lines", j.linesSent, "line");
  showList("records", j.records, "record");
  document.title = (j.sonde && j.sonde.serial ? j.sonde.serial + " " : "") + j.station.callsign;
}

let lastGood = 0;
async function poll() {
  try {
    const ask = new AbortController();
    const timer = setTimeout(() => ask.abort(), 5000);
    const r = await fetch("/api/status", {cache: "no-store", signal: ask.signal});
    clearTimeout(timer);
    if (!r.ok) throw new Error("HTTP " + r.status);
    show(await r.json());
    lastGood = Date.now();
    $("status").className = "dim";
    set("status", "updated " + new Date(lastGood).toLocaleTimeString());
  } catch (e) {
    $("status").className = "stale";
    set("status", lastGood ? "station not answering since " + new Date(lastGood).toLocaleTimeString()
                           : "station not answering");
  }
  setTimeout(poll, 1500);
}
poll();
</script>
</body>
</html>
)page";

}  // namespace nimbrix
