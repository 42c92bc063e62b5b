#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "ui/WorkerLink.h"

namespace ombrelta {

/// Runs a body on a new thread that nobody joins; throws std::system_error when the system
/// cannot create one.
using ThreadStarter = std::function<void(std::function<void()>)>;

/// The launcher's starter: a detached std::thread.
void StartDetachedThread(std::function<void()> body);

/// Runs body on a thread from start, counted on link for the thread's whole life (also when
/// body throws). When the thread cannot be created the worker is counted out again and the
/// system's reason is returned; nothing is returned once the worker runs.
std::optional<std::string> StartWorker(const std::shared_ptr<WorkerLink>& link,
                                       std::function<void()> body,
                                       const ThreadStarter& start = StartDetachedThread);

}  // namespace ombrelta
