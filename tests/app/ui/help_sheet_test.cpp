#include "app/ui/help_sheet.hpp"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <string>

#include "app/help_guide.hpp"
#include "tests/support/temp_dir.hpp"

namespace nubrik {
namespace {

QString path(const TempDir& dir, const char* name) {
  return QString::fromStdString(dir.file(name));
}

TEST(HelpSheetTest, OnlyAProgramInTheBuildTreeReadsTheGuideFromTheSourceTree) {
  if (!helpGuidePath(QStringLiteral("/nonexistent")).isEmpty()) {
    GTEST_SKIP() << "a guide is installed on this machine";
  }
  const QString build = QStringLiteral(NUBRIK_BINARY_DIR);
  EXPECT_EQ(helpGuidePath(build + "/bin"),
            QStringLiteral(NUBRIK_SOURCE_DIR "/packaging/doc/RECOVERY.md"));
  // An installed program, and one beside the build tree whose name merely begins like it.
  EXPECT_EQ(helpGuidePath(QStringLiteral("/usr/libexec/nubrik")), QString());
  EXPECT_EQ(helpGuidePath(build + "-other/bin"), QString());
}

TEST(HelpSheetTest, ShowsTheFallbackWhenTheGuideCannotBeRead) {
  // Which files are unreadable is the guide reader's test.
  TempDir dir;
  HelpSheet sheet(nullptr, path(dir, "missing.md"), QStringLiteral("9.8.7"));
  EXPECT_TRUE(sheet.showsFallback());
  EXPECT_EQ(sheet.guide()->toPlainText().toStdString(), helpGuideFallback());
}

TEST(HelpSheetTest, ShowsTheGuideLineByLineWithVersionAndSupport) {
  TempDir dir;
  dir.write("guide.md",
            "# Getting back\n"
            "Run **this**  now:\n"
            "\n"
            "```sh\n"
            "  sudo  nmcli networking on\n"
            "\n"
            "```\n"
            "- then `wait`\n"
            "## Last\n");
  HelpSheet sheet(nullptr, path(dir, "guide.md"), QStringLiteral("9.8.7"));
  ASSERT_FALSE(sheet.showsFallback());

  const QTextDocument& document = *sheet.guide()->document();
  QStringList blocks;
  for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
    blocks << block.text();
  }
  EXPECT_EQ(blocks, (QStringList{"Getting back", "Run this  now:", "  sudo  nmcli networking on",
                                 "", "- then wait", "Last"}));

  // The code block keeps its spacing.
  EXPECT_TRUE(document.findBlockByNumber(2).blockFormat().nonBreakableLines());

  const auto* version = sheet.findChild<QLabel*>(QStringLiteral("helpVersion"));
  ASSERT_NE(version, nullptr);
  EXPECT_TRUE(version->text().contains(QStringLiteral("9.8.7")));
  const auto* support = sheet.findChild<QLabel*>(QStringLiteral("helpSupport"));
  ASSERT_NE(support, nullptr);
  EXPECT_EQ(support->accessibleName(), QStringLiteral("Email support: support@nubrik.app"));

  auto* close = sheet.findChild<QPushButton*>(QStringLiteral("closeButton"));
  ASSERT_NE(close, nullptr);
  EXPECT_TRUE(close->isDefault());
  sheet.show();
  close->click();
  EXPECT_FALSE(sheet.isVisible());
}

}  // namespace
}  // namespace nubrik
