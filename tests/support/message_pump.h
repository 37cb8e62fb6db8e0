#pragma once

#include <chrono>
#include <functional>

// Runs the calling thread's message loop for a while, so timers and socket
// notifications of components created on this thread are delivered.
void PumpMessagesFor(std::chrono::milliseconds duration);

// Pumps until the condition holds or the timeout passes; returns the condition.
bool PumpMessagesUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);
