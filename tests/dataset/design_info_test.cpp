// The design position of components without a window, stored as "Left" and
// "Top" in a description.
#include <gtest/gtest.h>

#include <memory>

#include "dataset/component.h"
#include "dataset/streaming.h"

namespace dataset_test {

using namespace dataset;

namespace {

TEST(DesignInfo, ReadsAndWritesLeftAndTopAsHalvesOfDesignInfo) {
  const std::string text =
      "object Root: TComponent\n"
      "  object Placed: TComponent\n"
      "    Left = 248\n"
      "    Top = 26\n"
      "  end\n"
      "  object Negative: TComponent\n"
      "    Left = -5\n"
      "  end\n"
      "  object Unplaced: TComponent\n"
      "  end\n"
      "end\n";
  std::unique_ptr<TComponent> root(ReadComponentFromText(text, nullptr));
  EXPECT_EQ(root->FindComponent("Placed")->DesignInfo(), (26 << 16) | 248);
  EXPECT_EQ(static_cast<int16_t>(root->FindComponent("Negative")->DesignInfo() & 0xFFFF), -5);
  EXPECT_EQ(root->FindComponent("Negative")->DesignInfo() >> 16, 0);
  EXPECT_EQ(root->FindComponent("Unplaced")->DesignInfo(), 0);

  const std::string written = WriteComponentToText(root.get());
  EXPECT_EQ(written, text);
}

}  // namespace
}  // namespace dataset_test
