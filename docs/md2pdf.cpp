// vexq4-md2pdf: turns the operator's guide (Markdown) into an A4 PDF at
// build time with Qt's own Markdown reader and PDF writer, so the build
// needs nothing beyond the Qt it already uses.
//
//   vexq4-md2pdf GUIDE.md OUT.pdf [--png DIR]
//
// --png also draws every page into DIR/page-N.png, for looking at the
// result without a PDF viewer. Exit status: 0 written, 1 a file could not
// be read or written, 2 a usage error.
#include <QAbstractTextDocumentLayout>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kDpi = 96;  // layout units: pixels at 96 dpi
// A4 at 96 dpi and its margins.
constexpr double kPageWidth = 210.0 / 25.4 * kDpi;
constexpr double kPageHeight = 297.0 / 25.4 * kDpi;
constexpr double kMargin = 18.0 / 25.4 * kDpi;
constexpr double kFooter = 24.0;

// Tables with thin rules and some air, headings in the guide's blue.
void Style(QTextDocument& doc) {
  QFont body(QStringLiteral("DejaVu Sans"));
  body.setPointSizeF(9.5);
  doc.setDefaultFont(body);
  doc.setDocumentMargin(0);

  QTextCursor cursor(&doc);
  for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
    const int level = block.blockFormat().headingLevel();
    if (level == 0) continue;
    cursor.setPosition(block.position());
    cursor.setPosition(block.position() + block.length() - 1, QTextCursor::KeepAnchor);
    QTextCharFormat heading;
    heading.setForeground(QColor(0x1f, 0x3f, 0x7a));
    heading.setFontPointSize(level == 1 ? 17 : level == 2 ? 12.5 : 10.5);
    heading.setFontWeight(QFont::Bold);
    cursor.mergeCharFormat(heading);
    QTextBlockFormat spacing = block.blockFormat();
    spacing.setTopMargin(level == 1 ? 0 : 14);
    spacing.setBottomMargin(level == 1 ? 10 : 5);
    spacing.setPageBreakPolicy(QTextFormat::PageBreak_Auto);
    cursor.setBlockFormat(spacing);
  }
  const QList<QTextFrame*> frames = doc.rootFrame()->childFrames();
  for (QTextFrame* frame : frames) {
    auto* table = qobject_cast<QTextTable*>(frame);
    if (!table) continue;
    QTextTableFormat format = table->format();
    format.setBorder(0.6);
    format.setBorderBrush(QColor(0x9a, 0xa5, 0xb5));
    format.setBorderCollapse(true);
    format.setCellPadding(3.5);
    format.setCellSpacing(0);
    format.setWidth(QTextLength(QTextLength::PercentageLength, 100));
    format.setTopMargin(4);
    format.setBottomMargin(8);
    format.setHeaderRowCount(1);
    table->setFormat(format);
    for (int column = 0; column < table->columns(); ++column) {
      QTextTableCellFormat header = table->cellAt(0, column).format().toTableCellFormat();
      header.setBackground(QColor(0xe4, 0xea, 0xf3));
      table->cellAt(0, column).setFormat(header);
    }
  }
}

// A heading never ends a page: one whose next block starts on the
// following page moves there itself. Each pass moves at most one heading
// more, so as many passes as headings are enough.
void KeepHeadingsWithText(QTextDocument& doc) {
  const double pageHeight = doc.pageSize().height();
  int headings = 0;
  for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
    headings += b.blockFormat().headingLevel() > 0;
  for (int pass = 0; pass < headings; ++pass) {
    bool moved = false;
    for (QTextBlock b = doc.begin(); b.isValid() && b.next().isValid(); b = b.next()) {
      if (b.blockFormat().headingLevel() == 0 ||
          b.blockFormat().pageBreakPolicy() == QTextFormat::PageBreak_AlwaysBefore)
        continue;
      const auto* layout = doc.documentLayout();
      const int page = static_cast<int>(layout->blockBoundingRect(b).top() / pageHeight);
      const int nextPage =
          static_cast<int>(layout->blockBoundingRect(b.next()).bottom() / pageHeight);
      if (nextPage == page) continue;
      QTextCursor cursor(b);
      QTextBlockFormat format = b.blockFormat();
      format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
      cursor.setBlockFormat(format);
      moved = true;
      break;
    }
    if (!moved) return;
  }
}

void DrawFooter(QPainter& painter, int page, int pages, const QString& title) {
  painter.save();
  QFont small(QStringLiteral("DejaVu Sans"));
  small.setPointSizeF(7.5);
  painter.setFont(small);
  painter.setPen(QColor(0x60, 0x68, 0x75));
  const QRectF box(kMargin, kPageHeight - kMargin + 6, kPageWidth - 2 * kMargin, kFooter);
  painter.drawLine(QPointF(box.left(), box.top()), QPointF(box.right(), box.top()));
  painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, title);
  painter.drawText(box, Qt::AlignRight | Qt::AlignVCenter,
                   QStringLiteral("%1 / %2").arg(page).arg(pages));
  painter.restore();
}

// Draws page `index` (from 0) of the laid-out document at the margins.
void DrawPage(QPainter& painter, QTextDocument& doc, int index, int pages, const QString& title) {
  const QSizeF body = doc.pageSize();
  painter.save();
  painter.translate(kMargin, kMargin - index * body.height());
  doc.drawContents(&painter, QRectF(0, index * body.height(), body.width(), body.height()));
  painter.restore();
  DrawFooter(painter, index + 1, pages, title);
}

int Fail(const char* what, const QString& path) {
  std::fprintf(stderr, "vexq4-md2pdf: %s %s\n", what, qPrintable(path));
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  // Fonts only: no display is needed, also on a build machine without one.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QStringList args = QCoreApplication::arguments();
  QString pngDir;
  QStringList files;
  for (int i = 1; i < args.size(); ++i) {
    if (args[i] == QLatin1String("--png") && i + 1 < args.size())
      pngDir = args[++i];
    else
      files << args[i];
  }
  if (files.size() != 2) {
    std::fprintf(stderr, "usage: vexq4-md2pdf GUIDE.md OUT.pdf [--png DIR]\n");
    return 2;
  }

  QFile in(files[0]);
  if (!QFileInfo(files[0]).isFile() || !in.open(QIODevice::ReadOnly))
    return Fail("cannot read", files[0]);
  const QString markdown = QString::fromUtf8(in.readAll());

  QTextDocument doc;
  // Measure with 96 dpi, whatever the platform says, so the PDF and the
  // preview pages break alike.
  QImage measure(1, 1, QImage::Format_RGB32);
  measure.setDotsPerMeterX(static_cast<int>(std::lround(kDpi / 0.0254)));
  measure.setDotsPerMeterY(measure.dotsPerMeterX());
  doc.documentLayout()->setPaintDevice(&measure);
  doc.setMarkdown(markdown, QTextDocument::MarkdownDialectGitHub);
  Style(doc);
  doc.setPageSize(QSizeF(kPageWidth - 2 * kMargin, kPageHeight - 2 * kMargin - kFooter));
  KeepHeadingsWithText(doc);
  const int pages = doc.pageCount();
  // The first heading is the title the footer repeats.
  QString title = doc.begin().text();
  for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
    if (b.blockFormat().headingLevel() == 1) {
      title = b.text();
      break;
    }

  // Written beside the target and renamed over it: a failed run leaves no
  // half-written guide behind.
  const QString partial = files[1] + QStringLiteral(".part");
  {
    QPdfWriter pdf(partial);
    pdf.setResolution(kDpi);
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
    pdf.setTitle(title);
    pdf.setCreator(QStringLiteral("vexq4-md2pdf"));
    QPainter painter;
    if (!painter.begin(&pdf)) return Fail("cannot write", files[1]);
    for (int page = 0; page < pages; ++page) {
      if (page > 0) pdf.newPage();
      DrawPage(painter, doc, page, pages, title);
    }
    if (!painter.end()) {
      QFile::remove(partial);
      return Fail("cannot write", files[1]);
    }
  }
  QFile::remove(files[1]);
  if (!QFile::rename(partial, files[1])) {
    QFile::remove(partial);
    return Fail("cannot write", files[1]);
  }

  if (!pngDir.isEmpty()) {
    QDir().mkpath(pngDir);
    for (int page = 0; page < pages; ++page) {
      QImage image(QSize(static_cast<int>(kPageWidth), static_cast<int>(kPageHeight)),
                   QImage::Format_RGB32);
      image.setDotsPerMeterX(measure.dotsPerMeterX());
      image.setDotsPerMeterY(measure.dotsPerMeterY());
      image.fill(Qt::white);
      QPainter painter(&image);
      painter.setRenderHint(QPainter::Antialiasing);
      DrawPage(painter, doc, page, pages, title);
      painter.end();
      const QString png = QDir(pngDir).filePath(QStringLiteral("page-%1.png").arg(page + 1));
      if (!image.save(png)) return Fail("cannot write", png);
    }
  }
  return 0;
}
