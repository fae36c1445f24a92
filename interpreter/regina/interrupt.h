// interrupt.h: Ctrl-C during a library call.
//
// Regina takes SIGINT for HALT at the next clause, but a library call that
// waits on the network would keep the script until the wait ends. While a
// call runs, the runner takes SIGINT itself: a thread of its own (as a
// console control handler runs on Windows) cancels the calling thread's
// synchronous I/O (CancelSynchronousIo) until the call returns, so WinINet
// gives up at once; the front end then raises HALT. Plain C++, without
// Regina's or Windows' headers, for any front end that calls libraries.
#ifndef HALVORIN_RUNNER_INTERRUPT_H
#define HALVORIN_RUNNER_INTERRUPT_H

namespace halvorin::runner {

// The thread that cancels; started before a script runs, stopped (joined) after.
void StartInterruptWatch();
void StopInterruptWatch();

// For the length of one library call on the calling thread: SIGINT cancels
// the call's waits instead of going to the interpreter's handler, which is
// put back when the call ends. Nothing changes where SIGINT is ignored or
// left to its default (the process ends), or when the watch is not running.
class InterruptibleCall {
public:
    InterruptibleCall();
    ~InterruptibleCall();
    InterruptibleCall(const InterruptibleCall &) = delete;
    InterruptibleCall &operator=(const InterruptibleCall &) = delete;
    // Whether a SIGINT came during the call: the front end raises HALT for it.
    bool Interrupted() const;

private:
    bool installed_ = false;
};

} // namespace halvorin::runner

#endif // HALVORIN_RUNNER_INTERRUPT_H
