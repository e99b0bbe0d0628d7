// Conversions into fields take runs of ASCII whole: the result is that of
// converting the whole text and cutting it, at every size and wherever the
// other characters stand.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "platform/platform.h"

namespace {

TEST(CodePage, AsciiRunsConvertLikeTheWholeText) {
  const std::u16string wide[] = {std::u16string(40, u'a'), u"0123456789abcdefghij\u20AC" + std::u16string(20, u'z'),
                                 u"\u00E9" + std::u16string(33, u'q') + u"\u20AC\u00FF"};
  for (const std::u16string &text : wide) {
    const std::string narrow = plat::WideToAnsi(text);  // one byte a character on this code page
    for (size_t size = 1; size < text.size() + 3; ++size) {
      std::string field(size + 4, 'X');
      std::u16string back(size + 4, u'X');
      EXPECT_EQ(plat::WideToAnsiField(text, field.data(), size), std::min(narrow.size(), size - 1));
      EXPECT_EQ(plat::AnsiToWideField(narrow, back.data(), size), std::min(text.size(), size - 1));
      EXPECT_TRUE(field.c_str() == narrow.substr(0, size - 1) && back.c_str() == text.substr(0, size - 1)) << size;
    }
  }
}

}  // namespace
