// vexq4-picture-diff: tells which pictures of a folder differ from those of
// another, for `scripts/screenshots --check` (the guide's pictures against
// what the program draws today).
//
//   vexq4-picture-diff [--tolerance LEVELS] [--pixels N] REFERENCE NEW
//
// Every PNG file in either folder is compared with its namesake in the
// other: a picture only on one side, of another size, or with more than N
// pixels (default 0) of which a colour channel differs by more than LEVELS
// (0 to 255, default 0) is reported on one line. Exit status: 0 all alike,
// 1 a picture differs, 2 a usage error or a picture that cannot be read.
#include <QDir>
#include <QImage>
#include <QRect>
#include <QString>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace {

constexpr const char* kUsage =
    "usage: vexq4-picture-diff [--tolerance LEVELS] [--pixels N] REFERENCE NEW\n";

struct Limits {
  int tolerance = 0;
  long pixels = 0;
};

struct Difference {
  long pixels = 0;  // pixels beyond the tolerance
  int largest = 0;  // the largest channel difference seen
  QRect where;      // the pixels beyond the tolerance, boxed
};

std::optional<long> Number(const char* text, long max) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || value < 0 || value > max) return std::nullopt;
  return value;
}

Difference Compare(const QImage& a, const QImage& b, int tolerance) {
  Difference d;
  for (int y = 0; y < a.height(); ++y) {
    const auto* rowA = reinterpret_cast<const QRgb*>(a.constScanLine(y));
    const auto* rowB = reinterpret_cast<const QRgb*>(b.constScanLine(y));
    for (int x = 0; x < a.width(); ++x) {
      const QRgb p = rowA[x], q = rowB[x];
      const int channel =
          std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                    std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
      d.largest = std::max(d.largest, channel);
      if (channel > tolerance) {
        ++d.pixels;
        d.where |= QRect(x, y, 1, 1);
      }
    }
  }
  return d;
}

QString Size(const QImage& image) {
  return QStringLiteral("%1x%2").arg(image.width()).arg(image.height());
}

// One picture: 0 alike, 1 differs, 2 unreadable; a line said when not alike.
int ComparePicture(const QDir& reference, const QDir& fresh, const QString& name,
                   const Limits& limits) {
  const bool inReference = reference.exists(name), inFresh = fresh.exists(name);
  if (!inReference || !inFresh) {
    std::printf("%s: %s\n", qPrintable(name),
                inFresh ? "new (not in the reference folder)" : "no longer made");
    return 1;
  }
  const QImage a = QImage(reference.filePath(name)).convertToFormat(QImage::Format_ARGB32);
  const QImage b = QImage(fresh.filePath(name)).convertToFormat(QImage::Format_ARGB32);
  if (a.isNull() || b.isNull()) {
    std::fprintf(stderr, "vexq4-picture-diff: %s is not a PNG picture\n",
                 qPrintable((a.isNull() ? reference : fresh).filePath(name)));
    return 2;
  }
  if (a.size() != b.size()) {
    std::printf("%s: size %s, was %s\n", qPrintable(name), qPrintable(Size(b)),
                qPrintable(Size(a)));
    return 1;
  }
  const Difference d = Compare(a, b, limits.tolerance);
  if (d.pixels <= limits.pixels) return 0;
  std::printf("%s: %ld pixels differ (by up to %d levels) in %dx%d at %d,%d\n", qPrintable(name),
              d.pixels, d.largest, d.where.width(), d.where.height(), d.where.x(), d.where.y());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  Limits limits;
  int at = 1;
  for (; at + 1 < argc && std::string_view(argv[at]).starts_with("--"); at += 2) {
    const std::string_view option = argv[at];
    const auto value = Number(argv[at + 1], option == "--tolerance" ? 255 : 1L << 30);
    if (!value || (option != "--tolerance" && option != "--pixels")) {
      std::fprintf(stderr, "vexq4-picture-diff: bad option %s %s\n%s", argv[at], argv[at + 1],
                   kUsage);
      return 2;
    }
    if (option == "--tolerance")
      limits.tolerance = static_cast<int>(*value);
    else
      limits.pixels = *value;
  }
  if (argc - at == 1 &&
      (std::string_view(argv[at]) == "--help" || std::string_view(argv[at]) == "-h")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc - at != 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const QDir reference(QString::fromLocal8Bit(argv[at])),
      fresh(QString::fromLocal8Bit(argv[at + 1]));
  for (const QDir& dir : {reference, fresh}) {
    if (!dir.exists()) {
      std::fprintf(stderr, "vexq4-picture-diff: no folder %s\n", qPrintable(dir.path()));
      return 2;
    }
  }
  std::set<QString> names;
  for (const QDir& dir : {reference, fresh})
    for (const QString& name : dir.entryList({QStringLiteral("*.png")}, QDir::Files))
      names.insert(name);
  int status = 0;
  for (const QString& name : names)
    status = std::max(status, ComparePicture(reference, fresh, name, limits));
  return status;
}
