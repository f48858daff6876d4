#include "app/help_guide.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "tests/support/temp_dir.hpp"

namespace nubrik {

namespace {

using Kind = HelpGuideLine::Kind;

HelpGuideLine heading(std::string text) {
  return {Kind::heading, std::move(text)};
}
HelpGuideLine code(std::string text) {
  return {Kind::code, std::move(text)};
}
HelpGuideLine body(std::string text) {
  return {Kind::body, std::move(text)};
}

TEST(HelpGuideLines, Table) {
  struct Case {
    const char* name;
    std::string text;
    std::vector<HelpGuideLine> expected;
  };
  const std::vector<Case> cases = {
      {"nothing", "", {}},
      {"blank lines only", "\n  \n\t\n \r\n\n", {}},
      {"headings lose every leading mark and space",
       "# Title\n## Sub title\n#  # x\n###\n#no space",
       {heading("Title"), heading("Sub title"), heading("x"), heading(""), heading("no space")}},
      {"a heading keeps its trailing marks and tabs", "#\tTabbed ##", {heading("\tTabbed ##")}},
      {"body lines stand as written, blank ones dropped",
       "  indented  text  \n\nplain **bold**\n   \n- item",
       {body("  indented  text  "), body("plain **bold**"), body("- item")}},
      {"a fence toggles code and shows nothing",
       "before\n```sh\n  sudo x\n\n# not a heading\n```\nafter",
       {body("before"), code("  sudo x"), code(""), code("# not a heading"), body("after")}},
      {"an unterminated fence turns every following line into code",
       "text\n```\na\n\n   \n## b",
       {body("text"), code("a"), code(""), code("   "), code("## b")}},
      {"only a fence at the line's start counts",
       " ```\nx\n````\ny\n````",
       {body(" ```"), body("x"), code("y")}},
      {"a trailing newline adds a blank code line inside a fence",
       "```\nx\n",
       {code("x"), code("")}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(helpGuideLines(c.text), c.expected);
  }
}

TEST(HelpGuideFallback, NamesTheSupportAddress) {
  EXPECT_EQ(helpGuideFallback(),
            "The help guide could not be loaded. Email support@nubrik.app for help. If your "
            "computer is offline, send it from your phone.");
}

TEST(HelpGuideText, ReadsOnlyAWholeUtf8Guide) {
  TempDir dir;
  dir.write("guide.md", "# Guide\nCaf\xC3\xA9 \xE2\x80\x94 ok\n");
  dir.write("empty.md", "");
  dir.write("latin1.md", "# Guide\nCaf\xE9\n");
  dir.write("overlong.md", "\xC0\xAF");
  dir.write("limit.md", std::string(helpGuideSizeLimit, 'a'));
  dir.write("oversize.md", std::string(helpGuideSizeLimit + 1, 'a'));
  ASSERT_EQ(::mkdir(dir.file("directory.md").c_str(), 0700), 0);

  struct Case {
    const char* name;
    std::string path;
    bool readable;
  };
  const std::vector<Case> cases = {
      {"a UTF-8 guide", dir.file("guide.md"), true},
      {"exactly at the size limit", dir.file("limit.md"), true},
      {"missing", dir.file("missing.md"), false},
      {"empty", dir.file("empty.md"), false},
      {"not UTF-8", dir.file("latin1.md"), false},
      {"an overlong UTF-8 form", dir.file("overlong.md"), false},
      {"one byte over the limit", dir.file("oversize.md"), false},
      {"a directory", dir.file("directory.md"), false},
      {"no path", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<std::string> text = helpGuideText(c.path);
    EXPECT_EQ(text.has_value(), c.readable);
    if (c.readable) {
      EXPECT_EQ(*text, dir.read(c.path.substr(dir.path().size() + 1)));
    }
  }
}

TEST(InlineMarkdownSource, KeepsIndentationAndShowsBlockMarkersAsWritten) {
  const std::string nbsp = "\u00A0";
  struct Case {
    const char* name;
    std::string line;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"plain text", "Look at **its** `log`:", "Look at **its** `log`:"},
      {"leading spaces become no-break spaces", "    four", nbsp + nbsp + nbsp + nbsp + "four"},
      {"a tab goes to the next stop of four", " \tx", nbsp + nbsp + nbsp + nbsp + "x"},
      {"an indented bullet", "  - item", nbsp + nbsp + "\\- item"},
      {"bullet", "- item", "\\- item"},
      {"emphasis at the start stays", "*word* and __strong__", "*word* and __strong__"},
      {"a dash inside a word", "-v is verbose", "-v is verbose"},
      {"ordered item", "12. twelve", "12\\. twelve"},
      {"a version is no list", "2.4.1 is out", "2.4.1 is out"},
      {"quote", "> said", "\\> said"},
      {"fence", "~~~", "\\~~~"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(inlineMarkdownSource(c.line), c.expected);
  }
}

}  // namespace
}  // namespace nubrik
