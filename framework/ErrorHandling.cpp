#include "framework/ErrorHandling.h"

#include <atomic>

namespace {
std::atomic<TApplicationErrorHandler> applicationErrorHandler{nullptr};
}

void SetApplicationErrorHandler(TApplicationErrorHandler handler) {
    applicationErrorHandler.store(handler);
}

void HandleApplicationException() noexcept {
    TApplicationErrorHandler handler = applicationErrorHandler.load();
    if (!handler) return;
    try {
        handler(std::current_exception());
    } catch (...) {
        // An error handler that fails itself has nowhere left to report to.
    }
}
