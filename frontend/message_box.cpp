#include "frontend/message_box.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Return_Button.H>
#include <FL/Fl_Window.H>
#include <FL/fl_ask.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace trov::front {

void tell(std::string_view caption, const std::string& text) {
  fl_message_title(std::string(caption).c_str());
  const char* close_label = fl_close;
  fl_close = "OK";
  fl_alert("%s", text.c_str());
  fl_close = close_label;
}

bool ask(std::string_view caption, const std::string& text, const char* safe, const char* other) {
  std::string shown;  // '@' would start a symbol in an FLTK label
  for (char c : text) shown += c == '@' ? std::string("@@") : std::string(1, c);
  fl_open_display();
  fl_font(FL_HELVETICA, FL_NORMAL_SIZE);
  int text_w = 0, text_h = 0;
  fl_measure(shown.c_str(), text_w, text_h, 0);
  const int button_w = 160, w = std::max(text_w + 40, 2 * button_w + 50), h = text_h + 80;
  Fl_Window window((Fl::w() - w) / 2, (Fl::h() - h) / 2, w, h);
  window.copy_label(std::string(caption).c_str());
  Fl_Box message(20, 15, w - 40, text_h);
  message.label(shown.c_str());
  message.align(FL_ALIGN_LEFT | FL_ALIGN_TOP | FL_ALIGN_INSIDE);
  Fl_Button other_button(w - 30 - 2 * button_w, h - 45, button_w, 28, other);
  Fl_Return_Button safe_button(w - 20 - button_w, h - 45, button_w, 28, safe);
  window.end();
  // Alt and the marked letter only: a letter alone must not pick the answer that is not safe
  if (const char* amp = std::strchr(other, '&'); amp && amp[1])
    other_button.shortcut(FL_ALT | std::tolower(static_cast<unsigned char>(amp[1])));
  int answer = 0;  // 1 safe, 2 the other
  safe_button.callback([](Fl_Widget*, void* a) { *static_cast<int*>(a) = 1; }, &answer);
  other_button.callback([](Fl_Widget*, void* a) { *static_cast<int*>(a) = 2; }, &answer);
  window.callback([](Fl_Widget*, void* a) { *static_cast<int*>(a) = 1; }, &answer);  // Escape, close box
  window.set_modal();
  window.show();
  safe_button.take_focus();
  while (answer == 0 && window.shown()) Fl::wait();
  return answer == 2;
}

bool run_anyway(std::string_view caption, const std::string& text) {
  return ask(caption, text, "Back to the dialog", "&Run anyway");
}

}  // namespace trov::front
