#include "app/ui/help_sheet.hpp"

#include <QCoreApplication>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLabel>
#include <QPushButton>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>
#include <optional>
#include <string>
#include <vector>

#include "app/help_guide.hpp"
#include "core/nubrik_xpc.hpp"

namespace nubrik {

namespace {

constexpr int guideHeight = 360;
constexpr double headingScale = 1.2;

QString qt(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A body line's text and inline formats (emphasis, code spans, links) as Markdown gives them;
// none when Markdown makes nothing of it.
std::optional<std::vector<std::pair<QString, QTextCharFormat>>> inlineMarkdown(
    const std::string& line) {
  QTextDocument parsed;
  parsed.setMarkdown(qt(inlineMarkdownSource(line)),
                     QTextDocument::MarkdownFeatures(QTextDocument::MarkdownDialectGitHub |
                                                     QTextDocument::MarkdownNoHTML));
  std::vector<std::pair<QString, QTextCharFormat>> runs;
  QString all;
  for (QTextBlock block = parsed.begin(); block.isValid(); block = block.next()) {
    if (!runs.empty()) runs.emplace_back(QStringLiteral(" "), runs.back().second);
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      const QTextFragment fragment = it.fragment();
      if (!fragment.isValid()) continue;
      runs.emplace_back(fragment.text(), fragment.charFormat());
      all += fragment.text();
    }
  }
  if (all.trimmed().isEmpty()) return std::nullopt;
  return runs;
}

// Fills `document` with the guide, one block per line.
void renderGuide(QTextDocument& document, const std::vector<HelpGuideLine>& lines,
                 const QPalette& palette) {
  document.clear();
  QTextCursor cursor(&document);
  const QFont baseFont = document.defaultFont();
  const QFont codeFont = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  bool first = true;
  HelpGuideLine::Kind previous = HelpGuideLine::Kind::body;

  for (const HelpGuideLine& line : lines) {
    QTextBlockFormat block;
    QTextCharFormat chars;
    chars.setFont(baseFont);
    switch (line.kind) {
      case HelpGuideLine::Kind::heading:
        block.setTopMargin(first ? 0 : 14);
        block.setBottomMargin(4);
        chars.setFontWeight(QFont::Bold);
        chars.setFontPointSize(baseFont.pointSizeF() * headingScale);
        break;
      case HelpGuideLine::Kind::code:
        // Code keeps its whitespace and its lines; a long one scrolls rather than wraps.
        block.setNonBreakableLines(true);
        block.setBackground(palette.alternateBase());
        block.setLeftMargin(4);
        block.setTopMargin(previous == HelpGuideLine::Kind::code ? 0 : 6);
        chars.setFont(codeFont);
        break;
      case HelpGuideLine::Kind::body:
        block.setTopMargin(previous == HelpGuideLine::Kind::code ? 6 : 0);
        break;
    }
    if (first) {
      cursor.setBlockFormat(block);
      cursor.setBlockCharFormat(chars);
    } else {
      cursor.insertBlock(block, chars);
    }
    first = false;
    previous = line.kind;

    if (line.kind != HelpGuideLine::Kind::body) {
      cursor.insertText(qt(line.text), chars);
      continue;
    }
    if (const auto runs = inlineMarkdown(line.text)) {
      for (const auto& [text, format] : *runs) {
        QTextCharFormat merged = chars;
        merged.merge(format);
        cursor.insertText(text, merged);
      }
    } else {
      cursor.insertText(qt(line.text), chars);
    }
  }
}

}  // namespace

QString helpGuidePath(const QString& programDirectory) {
  const QString installed = QStringLiteral(NUBRIK_INSTALLED_DOCDIR "/RECOVERY.md");
  if (QFileInfo::exists(installed)) return installed;
  // A program run from its build tree reads the guide from the source it was built from. An
  // installed one never looks there: on the machine it runs on, that directory may be anyone's.
  const QString buildTree = QStringLiteral(NUBRIK_BINARY_DIR_FOR_DEVELOPMENT "/");
  if (!(programDirectory + "/").startsWith(buildTree)) return QString();
  const QString development =
      QStringLiteral(NUBRIK_SOURCE_DIR_FOR_DEVELOPMENT "/packaging/doc/RECOVERY.md");
  if (QFileInfo::exists(development)) return development;
  return QString();
}

QString installedHelpGuidePath() {
  return helpGuidePath(QCoreApplication::applicationDirPath());
}

QString tamselVersion() {
  return QString::fromUtf8(nubrikHelperVersion);
}

HelpSheet::HelpSheet(QWidget* parent, const QString& guidePath, const QString& version)
    : Sheet(parent, QStringLiteral("questionmark.circle"), QStringLiteral("Tamsel Help"), QString(),
            Width::wide) {
  setObjectName(QStringLiteral("helpSheet"));

  std::vector<HelpGuideLine> lines;
  if (!guidePath.isEmpty()) {
    if (const auto text = helpGuideText(guidePath.toStdString())) lines = helpGuideLines(*text);
  }
  // A guide with nothing to show helps no more than a missing one.
  showsFallback_ = lines.empty();
  if (showsFallback_) lines = {{HelpGuideLine::Kind::body, helpGuideFallback()}};

  guide_ = new QTextBrowser(this);
  guide_->setObjectName(QStringLiteral("helpGuide"));
  guide_->setAccessibleName(QStringLiteral("Help guide"));
  guide_->setOpenExternalLinks(true);
  guide_->setFixedSize(SheetStyle::wideWidth - 2 * SheetStyle::padding, guideHeight);
  renderGuide(*guide_->document(), lines, guide_->palette());
  guide_->moveCursor(QTextCursor::Start);
  body()->addWidget(guide_);

  auto* versionLabel = new QLabel(QStringLiteral("Version %1").arg(version), this);
  versionLabel->setObjectName(QStringLiteral("helpVersion"));
  versionLabel->setTextFormat(Qt::PlainText);
  versionLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
  versionLabel->setForegroundRole(QPalette::PlaceholderText);
  body()->addWidget(versionLabel);

  const QString address = qt(nubrikSupportAddress);
  auto* support = new QLabel(
      QStringLiteral("Email support: <a href=\"mailto:%1\">%1</a>").arg(address.toHtmlEscaped()),
      this);
  support->setObjectName(QStringLiteral("helpSupport"));
  support->setTextFormat(Qt::RichText);
  support->setOpenExternalLinks(true);
  support->setTextInteractionFlags(Qt::TextBrowserInteraction);
  support->setAccessibleName(QStringLiteral("Email support: ") + address);
  body()->addWidget(support);

  QPushButton* close = addButton(QStringLiteral("Close"), true);
  close->setObjectName(QStringLiteral("closeButton"));
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  close->setFocus();
}

}  // namespace nubrik
