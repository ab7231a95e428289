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
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>

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

// Lays the guide out on pages, with a page break before each heading
// whose block number is in `breaks`. Everything is in place before the
// page size is set, so the whole document is laid out in one go.
std::unique_ptr<QTextDocument> LayOut(const QString& markdown, QPaintDevice* measure,
                                      const std::set<int>& breaks) {
  auto doc = std::make_unique<QTextDocument>();
  doc->documentLayout()->setPaintDevice(measure);
  doc->setMarkdown(markdown, QTextDocument::MarkdownDialectGitHub);
  Style(*doc);
  for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
    if (breaks.count(b.blockNumber()) == 0) continue;
    QTextBlockFormat format = b.blockFormat();
    format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
    QTextCursor(b).setBlockFormat(format);
  }
  doc->setPageSize(QSizeF(kPageWidth - 2 * kMargin, kPageHeight - 2 * kMargin - kFooter));
  return doc;
}

// The first heading that ends a page (the block after it starts on the
// next one), or -1.
int HeadingEndingAPage(QTextDocument& doc, const std::set<int>& breaks) {
  const double pageHeight = doc.pageSize().height();
  const auto* layout = doc.documentLayout();
  for (QTextBlock b = doc.begin(); b.isValid() && b.next().isValid(); b = b.next()) {
    if (b.blockFormat().headingLevel() == 0 || breaks.count(b.blockNumber()) != 0) continue;
    const int page = static_cast<int>(layout->blockBoundingRect(b).top() / pageHeight);
    const int nextPage =
        static_cast<int>(layout->blockBoundingRect(b.next()).bottom() / pageHeight);
    if (nextPage != page) return b.blockNumber();
  }
  return -1;
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

  // Measure with 96 dpi, whatever the platform says, so the PDF and the
  // preview pages break alike.
  QImage measure(1, 1, QImage::Format_RGB32);
  measure.setDotsPerMeterX(static_cast<int>(std::lround(kDpi / 0.0254)));
  measure.setDotsPerMeterY(measure.dotsPerMeterX());
  // A heading never ends a page: it moves to the next one, one at a time
  // from the top (each move can only push later ones further down).
  std::set<int> breaks;
  std::unique_ptr<QTextDocument> laidOut = LayOut(markdown, &measure, breaks);
  for (int moves = 0; moves < laidOut->blockCount(); ++moves) {
    const int heading = HeadingEndingAPage(*laidOut, breaks);
    if (heading < 0) break;
    breaks.insert(heading);
    laidOut = LayOut(markdown, &measure, breaks);
  }
  QTextDocument& doc = *laidOut;
  const int pages = doc.pageCount();
  // Every line of text must have found its place on a page.
  for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
    if (!b.text().trimmed().isEmpty() && doc.documentLayout()->blockBoundingRect(b).height() <= 0)
      return Fail("could not lay out", b.text().left(60));
  // The first heading is the title the footer repeats.
  QString title = doc.begin().text();
  for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
    if (b.blockFormat().headingLevel() == 1) {
      title = b.text();
      break;
    }

  // Only a file is ever replaced (not a device, a pipe or a folder of that
  // name); it is drawn in memory and saved through a temporary file, so a
  // full disk or a failed run leaves no half-written guide behind.
  const QFileInfo target(files[1]);
  if (target.exists() && !target.isFile()) return Fail("not a regular file:", files[1]);
  QBuffer bytes;
  bytes.open(QIODevice::WriteOnly);
  {
    QPdfWriter pdf(&bytes);
    pdf.setResolution(kDpi);
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
    pdf.setTitle(title);
    pdf.setCreator(QStringLiteral("vexq4-md2pdf"));
    QPainter painter;
    if (!painter.begin(&pdf)) return Fail("cannot draw", files[1]);
    for (int page = 0; page < pages; ++page) {
      if (page > 0) pdf.newPage();
      DrawPage(painter, doc, page, pages, title);
    }
    if (!painter.end()) return Fail("cannot draw", files[1]);
  }
  QSaveFile out(files[1]);
  if (!out.open(QIODevice::WriteOnly) || out.write(bytes.data()) != bytes.data().size() ||
      !out.commit())
    return Fail("cannot write", files[1]);

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
