// Work that must not hold the navigator's thread (the shell's own): a
// delete, with the shell's boxes and the progress dialog it may show.
#pragma once

#include <functional>

// Runs `work` on a thread of its own, COM initialised there as a single-
// threaded apartment, while the calling thread dispatches its messages, as a
// modal loop would; returns when `work` has. The shell's boxes then wait in
// that thread's loop alone, inside which nothing else opens a box, so what
// they answer is acted on at once. False, running nothing, when no thread
// could be started.
bool RunAside(const std::function<void()>& work);
