// Draws the tool's three pictures and writes them in their resource formats:
//   logo129.bmp  134 x 50, 8 bits per pixel, 256-entry palette, uncompressed
//   icon128.ico  32 x 32 and 16 x 16, 16 colours each
//   icon68.ico   32 x 32, 16 colours
//   app-icon-N.png  the desktop menu's icon at N = 16, 32, 48, 64, 128 and 256 pixels, full
//                   colour with smoothed edges: the same drawing as icon128.ico
// Usage: kalvex-make-images OUTPUT_DIR. The files are checked in; run this only to redraw them.
// The BMP and ICO files are written by hand rather than through Qt's writers so that the bit
// depth and palette size are exactly the ones the resources call for.

#include <QByteArray>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygon>

#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr QRgb kLogoBackground = qRgb(192, 192, 192);
constexpr QRgb kLogoLettering = qRgb(0, 102, 204);

// The icons' sixteen colours, in the order of the palette indices their pixels hold.
constexpr QRgb kIconPalette[16] = {
    qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
    qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
    qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
    qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255),
};
enum IconColour {
  kBlack = 0,
  kMaroon = 1,
  kGreen = 2,
  kNavy = 4,
  kTeal = 6,
  kSilver = 7,
  kGray = 8,
  kRed = 9,
  kLime = 10,
  kYellow = 11,
  kBlue = 12,
  kWhite = 15
};

QColor C(IconColour c) { return QColor::fromRgb(kIconPalette[c]); }

void Put16(QByteArray& out, uint16_t v) {
  out.append(char(v & 0xFF));
  out.append(char(v >> 8));
}
void Put32(QByteArray& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.append(char((v >> (8 * i)) & 0xFF));
}

bool WriteFile(const QString& path, const QByteArray& data) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size()) {
    std::fprintf(stderr, "kalvex-make-images: cannot write %s\n", qPrintable(path));
    return false;
  }
  return true;
}

// Palette: 0 background, 1..16 a ramp to the lettering colour for the smoothed edges, the rest
// black and unused, so the file carries the full 256 entries.
QByteArray LogoBmp() {
  constexpr int kWidth = 134, kHeight = 50, kRamp = 16;
  QImage art(kWidth, kHeight, QImage::Format_ARGB32);
  art.fill(kLogoBackground);
  {
    QPainter p(&art);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setBold(true);
    font.setPixelSize(27);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 1);
    p.setFont(font);
    p.setPen(QColor::fromRgb(kLogoLettering));
    p.drawText(QRect(0, 2, kWidth, 32), Qt::AlignCenter, QStringLiteral("KALVEX"));
    // A signal wave under the name.
    QPainterPath wave;
    wave.moveTo(10, 41);
    for (int x = 10; x <= 124; x += 19)
      wave.quadTo(x + 5, 34, x + 9.5, 41), wave.quadTo(x + 14, 48, x + 19, 41);
    p.setPen(QPen(QColor::fromRgb(kLogoLettering), 2.2));
    p.drawPath(wave);
  }
  std::vector<QRgb> palette(256, qRgb(0, 0, 0));
  for (int i = 0; i <= kRamp; ++i) {
    const double t = double(i) / kRamp;
    palette[i] = qRgb(int(192 + (0 - 192) * t + 0.5), int(192 + (102 - 192) * t + 0.5),
                      int(192 + (204 - 192) * t + 0.5));
  }
  const int rowBytes = (kWidth + 3) / 4 * 4;
  QByteArray out;
  const uint32_t dataOffset = 14 + 40 + 256 * 4;
  out.append("BM", 2);
  Put32(out, dataOffset + rowBytes * kHeight);
  Put32(out, 0);
  Put32(out, dataOffset);
  Put32(out, 40);
  Put32(out, kWidth);
  Put32(out, kHeight);
  Put16(out, 1);
  Put16(out, 8);
  Put32(out, 0);  // BI_RGB: uncompressed
  Put32(out, rowBytes * kHeight);
  Put32(out, 2835);  // 72 dpi
  Put32(out, 2835);
  Put32(out, 256);
  Put32(out, 0);
  for (QRgb c : palette) {
    out.append(char(qBlue(c)));
    out.append(char(qGreen(c)));
    out.append(char(qRed(c)));
    out.append(char(0));
  }
  for (int y = kHeight - 1; y >= 0; --y) {  // bottom-up rows
    for (int x = 0; x < kWidth; ++x) {
      // How far the pixel has moved from grey towards the lettering blue, by its red channel.
      const int red = qRed(art.pixel(x, y));
      int index = int((192 - red) * kRamp / 192.0 + 0.5);
      out.append(char(std::clamp(index, 0, kRamp)));
    }
    out.append(QByteArray(rowBytes - kWidth, '\0'));
  }
  return out;
}

// One icon image as 16-colour indices; -1 is transparent.
struct IconImage {
  int size;
  std::vector<int> pixels;
};

IconImage Quantise(const QImage& art) {
  IconImage icon{art.width(), std::vector<int>(art.width() * art.height(), -1)};
  for (int y = 0; y < art.height(); ++y) {
    for (int x = 0; x < art.width(); ++x) {
      const QRgb px = art.pixel(x, y);
      if (qAlpha(px) < 128) continue;
      int best = 0, bestDistance = 1 << 30;
      for (int i = 0; i < 16; ++i) {
        const int dr = qRed(px) - qRed(kIconPalette[i]), dg = qGreen(px) - qGreen(kIconPalette[i]),
                  db = qBlue(px) - qBlue(kIconPalette[i]);
        const int d = dr * dr + dg * dg + db * db;
        if (d < bestDistance) bestDistance = d, best = i;
      }
      icon.pixels[y * icon.size + x] = best;
    }
  }
  return icon;
}

QByteArray IconFile(const std::vector<IconImage>& images) {
  std::vector<QByteArray> blobs;
  for (const IconImage& img : images) {
    const int n = img.size;
    const int xorRow = (n / 2 + 3) / 4 * 4;
    const int andRow = (n / 8 + 3) / 4 * 4;
    QByteArray b;
    Put32(b, 40);
    Put32(b, n);
    Put32(b, 2 * n);  // colour bits and mask stacked
    Put16(b, 1);
    Put16(b, 4);
    Put32(b, 0);
    Put32(b, (xorRow + andRow) * n);
    Put32(b, 0);
    Put32(b, 0);
    Put32(b, 16);
    Put32(b, 0);
    for (QRgb c : kIconPalette) {
      b.append(char(qBlue(c)));
      b.append(char(qGreen(c)));
      b.append(char(qRed(c)));
      b.append(char(0));
    }
    for (int y = n - 1; y >= 0; --y) {
      QByteArray row(xorRow, '\0');
      for (int x = 0; x < n; ++x) {
        const int v = std::max(img.pixels[y * n + x], 0);
        row[x / 2] = char(row[x / 2] | (x % 2 ? v : v << 4));
      }
      b.append(row);
    }
    for (int y = n - 1; y >= 0; --y) {
      QByteArray row(andRow, '\0');
      for (int x = 0; x < n; ++x)
        if (img.pixels[y * n + x] < 0) row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
      b.append(row);
    }
    blobs.push_back(b);
  }
  QByteArray out;
  Put16(out, 0);
  Put16(out, 1);
  Put16(out, uint16_t(images.size()));
  uint32_t offset = 6 + 16 * uint32_t(images.size());
  for (size_t i = 0; i < images.size(); ++i) {
    out.append(char(images[i].size));
    out.append(char(images[i].size));
    out.append(char(16));
    out.append(char(0));
    Put16(out, 1);
    Put16(out, 4);
    Put32(out, uint32_t(blobs[i].size()));
    Put32(out, offset);
    offset += uint32_t(blobs[i].size());
  }
  for (const QByteArray& b : blobs) out.append(b);
  return out;
}

QImage Canvas(int size) {
  QImage art(size, size, QImage::Format_ARGB32);
  art.fill(Qt::transparent);
  return art;
}

// A grey modem case with a yellow handset resting on it and a green and a red light. Drawn on
// a 32-unit grid; the 16-pixel image is the same drawing at half scale. The dialog's own icon
// keeps hard pixel edges for its 16 colours; the desktop icons are smoothed.
QImage ModemIcon(int size, bool smooth = false) {
  QImage art = Canvas(size);
  QPainter p(&art);
  p.setRenderHint(QPainter::Antialiasing, smooth);
  p.scale(size / 32.0, size / 32.0);
  p.setPen(QPen(C(kBlack), 1));
  p.setBrush(C(kSilver));
  p.drawRect(2, 15, 27, 12);  // case
  p.setBrush(C(kGray));
  p.drawRect(2, 23, 27, 4);  // front panel
  p.setPen(Qt::NoPen);
  p.setBrush(C(kLime));
  p.drawRect(5, 24, 3, 2);
  p.setBrush(C(kRed));
  p.drawRect(10, 24, 3, 2);
  p.setBrush(C(kWhite));
  p.drawRect(3, 16, 25, 1);  // highlight on the top edge
  // Handset: two ear pieces joined by a bar, over the case top.
  p.setPen(QPen(C(kBlack), 1));
  p.setBrush(C(kYellow));
  QPolygon handset;
  handset << QPoint(4, 12) << QPoint(4, 7) << QPoint(8, 4) << QPoint(23, 4) << QPoint(27, 7)
          << QPoint(27, 12) << QPoint(21, 12) << QPoint(21, 9) << QPoint(10, 9) << QPoint(10, 12);
  p.drawPolygon(handset);
  p.setBrush(C(kYellow));
  p.drawRect(12, 10, 7, 4);  // cradle button
  return art;
}

void Computer(QPainter& p, int x) {
  p.setPen(QPen(C(kBlack), 1));
  p.setBrush(C(kSilver));
  p.drawRect(x, 6, 10, 9);  // monitor
  p.setBrush(C(kTeal));
  p.drawRect(x + 2, 8, 6, 5);  // screen
  p.setBrush(C(kSilver));
  p.drawRect(x + 3, 15, 4, 2);   // neck
  p.drawRect(x - 1, 17, 12, 4);  // base unit
  p.setPen(Qt::NoPen);
  p.setBrush(C(kLime));
  p.drawRect(x + 8, 19, 1, 1);
}

// Two computers joined by a blue zig-zag line, a red telephone between them.
QImage LineTestIcon() {
  QImage art = Canvas(32);
  QPainter p(&art);
  Computer(p, 1);
  Computer(p, 21);
  p.setPen(QPen(C(kBlue), 1));
  QPolygon zigzag;
  zigzag << QPoint(6, 22) << QPoint(6, 27) << QPoint(10, 24) << QPoint(14, 29) << QPoint(18, 24)
         << QPoint(22, 29) << QPoint(26, 24) << QPoint(26, 22);
  p.drawPolyline(zigzag);
  p.setPen(QPen(C(kBlack), 1));
  p.setBrush(C(kRed));
  p.drawRect(12, 14, 8, 6);  // telephone body
  QPolygon handset;
  handset << QPoint(11, 13) << QPoint(11, 10) << QPoint(13, 9) << QPoint(19, 9) << QPoint(21, 10)
          << QPoint(21, 13) << QPoint(18, 13) << QPoint(18, 11) << QPoint(14, 11) << QPoint(14, 13);
  p.drawPolygon(handset);
  p.setBrush(C(kMaroon));
  p.drawRect(14, 16, 4, 2);  // dial
  return art;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: kalvex-make-images OUTPUT_DIR\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QString dir = QString::fromLocal8Bit(argv[1]);
  bool ok = WriteFile(dir + "/logo129.bmp", LogoBmp());
  ok = WriteFile(dir + "/icon128.ico",
                 IconFile({Quantise(ModemIcon(32)), Quantise(ModemIcon(16))})) &&
       ok;
  ok = WriteFile(dir + "/icon68.ico", IconFile({Quantise(LineTestIcon())})) && ok;
  for (int size : {16, 32, 48, 64, 128, 256}) {
    const QString path = dir + QStringLiteral("/app-icon-%1.png").arg(size);
    // 16 and 32 pixels are the hand-tuned grid itself; smoothing would only blur it.
    if (!ModemIcon(size, size > 32).save(path, "PNG")) {
      std::fprintf(stderr, "kalvex-make-images: cannot write %s\n", qPrintable(path));
      ok = false;
    }
  }
  return ok ? 0 : 1;
}
