// The application's "main thread": a loop that runs posted work one item at a time,
// in order. The tray front end implements it on the GUI toolkit's event loop; the
// headless application uses a plain loop. Work posted from any thread runs on the
// loop's thread.
#pragma once

#include <chrono>
#include <functional>

namespace corvanta {

class MainLoop {
 public:
  virtual ~MainLoop() = default;

  virtual void post(std::function<void()> work) = 0;
  virtual void postDelayed(std::chrono::milliseconds delay, std::function<void()> work) = 0;

  // Asks the loop to end after the current work item; `run` then returns.
  virtual void quit() = 0;
};

}  // namespace corvanta
