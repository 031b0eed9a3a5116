#pragma once
// What the harnesses share: a fault of the input ends the run by an exception instead of the process,
// so one process can read many inputs. The engine tells its listener of every fault before it stops.
#include <string>

#include "engine/io/messages.h"

namespace trov::fuzz {

struct Stopped {};

class StopThrows final : public MessageListener {
 public:
  StopThrows() { set_message_listener(this); }
  ~StopThrows() { set_message_listener(nullptr); }
  void warned(const std::string&) override {}
  void stopping(const std::string&, ErrorCode) override { throw Stopped{}; }
};

}  // namespace trov::fuzz
