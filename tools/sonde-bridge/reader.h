#pragma once

// The reader thread's loops: plain blocking reads from the input into the intake.

#include <functional>
#include <memory>
#include <string>

#include "input.h"

namespace bridge {

// How often a followed file is looked at again once its end is reached.
inline constexpr int kFollowPollMs = 200;

// Messages for the operator (without a line end).
using Notice = std::function<void(const std::string&)>;

// A stream (standard input, one writer of a FIFO) to its end.
void ReadToEnd(ByteStream& in, ByteSink& sink);

// A regular file from its start, then as it grows; a file cut short or replaced by another of
// the same name is read again from its start. With `stopAtEnd` it returns at the file's end;
// otherwise only after a read error.
void FollowFile(std::unique_ptr<GrowingFile> file, const std::string& path, InputSystem& system,
                ByteSink& sink, bool stopAtEnd, const Notice& notice);

// A FIFO, one writer after the other: when a writer goes away, `writerGone` is called and the
// FIFO is opened again for the next one (a restarted decoder pipeline). With `stopAtEnd` it
// returns when the first writer goes away; otherwise only when the FIFO cannot be opened.
void ReadPipe(const std::string& path, InputSystem& system, ByteSink& sink, bool stopAtEnd,
              const Notice& notice, const std::function<void()>& writerGone = {});

// Datagrams, each a line or several; returns after a receive error.
void ReadDatagrams(ByteStream& socket, ByteSink& sink, const Notice& notice);

}  // namespace bridge
