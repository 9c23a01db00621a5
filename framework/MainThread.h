#pragma once

#include <functional>

// Calls carried over to the main (window) thread. A worker thread hands a call to the main
// thread and waits until it has run there; the main thread runs such calls from its message
// handling (a message to a hidden window of the framework wakes it) and whenever the message
// loop is idle. An exception the call raises on the main thread is raised again in the
// waiting thread. A call made on the main thread itself runs at once.
//
// The main thread is the one that initialises the program (static initialisation); call
// InitializeMainThread from another thread only to move that role, as tests do.

void InitializeMainThread();
bool IsMainThread();

// Runs call on the main thread and returns when it has run there.
void Synchronize(const std::function<void()>& call);

// Runs the calls waiting for the main thread. Main thread only; the message loop calls it.
void RunPendingMainThreadCalls();
