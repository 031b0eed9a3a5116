#include "frontend/message_box.h"

#include <FL/fl_ask.H>

namespace trov::front {

void tell(std::string_view caption, const std::string& text) {
  fl_message_title(std::string(caption).c_str());
  const char* close_label = fl_close;
  fl_close = "OK";
  fl_alert("%s", text.c_str());
  fl_close = close_label;
}

bool run_anyway(std::string_view caption, const std::string& text) {
  fl_message_title(std::string(caption).c_str());
  // FLTK gives Escape to the first button and Return to the second
  return fl_choice("%s", "Back to the dialog", "Run anyway", nullptr, text.c_str()) == 1;
}

}  // namespace trov::front
