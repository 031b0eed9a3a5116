#pragma once
// A plot on the recording device with the message output captured.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "plotlib/draw/plotlib.h"

namespace trov::test {

class RecordedPlot : public ::testing::Test {
 protected:
  void SetUp() override {
    plotlib::set_message_stream(&messages_);
    plotlib::metafl("REC");
    plotlib::setpag("DA4L");
    plotlib::disini();
    plotlib::axspos(450, 1800);
    plotlib::axslen(2200, 1200);
  }

  void TearDown() override {
    if (plotlib::level() > 0) plotlib::disfin();
    plotlib::set_message_stream(nullptr);
  }

  const plotlib::Recording& rec() const { return *plotlib::recording(); }

  // The message output so far, one entry per line, and forget it.
  std::vector<std::string> take_lines() {
    std::vector<std::string> lines;
    std::istringstream in(messages_.str());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    messages_.str("");
    return lines;
  }

  std::ostringstream messages_;
};

}  // namespace trov::test
