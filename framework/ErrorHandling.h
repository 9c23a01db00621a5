#pragma once

#include <exception>

// Errors raised by application code that the library calls back (event and handler slots)
// must not unwind through the caller, which may be the player module. The library catches
// them and passes them here; the application object installs its error handler (which shows
// the error and keeps the program running). Without one, the error is dropped.
using TApplicationErrorHandler = void (*)(std::exception_ptr error);

void SetApplicationErrorHandler(TApplicationErrorHandler handler);

// Call inside a catch block: hands the exception being handled to the application's handler.
// Never raises.
void HandleApplicationException() noexcept;
