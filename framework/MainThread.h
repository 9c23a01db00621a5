#pragma once

#include <memory>
#include <type_traits>

// Calls carried over to the main (window) thread. A worker thread hands a call to the main
// thread and waits until it has run there; the main thread runs such calls from its message
// handling (a message to a hidden window of the framework wakes it) and whenever the message
// loop is idle. An exception the call raises on the main thread is raised again in the
// waiting thread. A call made on the main thread itself runs at once.
//
// The hand-off allocates nothing: the waiting call lives on the caller's stack. The main
// thread runs every call that is waiting (from any number of threads) in one pass, and after
// it waits a moment for more, first watching a counter, then asleep: a caller then reaches it
// in-process. Only a main thread that is back in its message loop is woken by a message, and
// only by one at a time. A waiting caller likewise watches for its answer briefly before it
// sleeps (both watches only on machines with more than one processor).
//
// The main thread is the one that initialises the program (static initialisation); call
// InitializeMainThread from another thread only to move that role, as tests do.

void InitializeMainThread();
bool IsMainThread();

// Runs run(context) on the main thread and returns when it has run there.
void SynchronizeCall(void (*run)(void* context), void* context);

// Runs call (any callable without arguments) on the main thread and returns when it has run.
template <typename Call>
void Synchronize(Call&& call) {
    using TCall = std::remove_reference_t<Call>;
    SynchronizeCall([](void* context) { (*static_cast<TCall*>(context))(); },
                    const_cast<void*>(static_cast<const void*>(std::addressof(call))));
}

// Runs the calls waiting for the main thread. Main thread only; the message loop calls it.
void RunPendingMainThreadCalls();
