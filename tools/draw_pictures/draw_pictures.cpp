// Draws the program's two pictures and writes them as the resource files the Windows build
// embeds: the 32 x 32 flat-screen television icon (with the sizes Explorer and the taskbar pick
// from, 16 to 256 pixels, for small icons, high DPI and large views) and the 253 x 173 television
// on a stand that the About window shows.
// Run it after changing a drawing and commit its output:
//   talvex-draw-pictures <folder>   ->  <folder>/talvex.ico, <folder>/television.bmp
// The Linux build runs it for the desktop icon theme's sizes, from 16 to 256 pixels:
//   talvex-draw-pictures --theme-icon <file>   ->  <file>, an icon file holding each size
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace {

struct Colour {
  double r = 0, g = 0, b = 0, a = 0;  // 0..1, straight (not premultiplied) alpha
};

Colour Rgb(int r, int g, int b, double a = 1.0) {
  return {r / 255.0, g / 255.0, b / 255.0, a};
}

Colour Mix(Colour x, Colour y, double t) {
  t = std::clamp(t, 0.0, 1.0);
  return {x.r + (y.r - x.r) * t, x.g + (y.g - x.g) * t, x.b + (y.b - x.b) * t,
          x.a + (y.a - x.a) * t};
}

// One filled shape in design coordinates: where it is, and its colour at a point.
struct Shape {
  std::function<bool(double x, double y)> contains;
  std::function<Colour(double x, double y)> paint;
};

std::function<bool(double, double)> RoundedRect(double left, double top, double right,
                                                double bottom, double radius) {
  return [=](double x, double y) {
    if (x < left || x > right || y < top || y > bottom) return false;
    const double cx = std::clamp(x, left + radius, right - radius);
    const double cy = std::clamp(y, top + radius, bottom - radius);
    return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius;
  };
}

std::function<bool(double, double)> Ellipse(double cx, double cy, double rx, double ry) {
  return [=](double x, double y) {
    const double dx = (x - cx) / rx, dy = (y - cy) / ry;
    return dx * dx + dy * dy <= 1.0;
  };
}

// A trapezoid with horizontal top and bottom edges.
std::function<bool(double, double)> Trapezoid(double top, double top_left, double top_right,
                                              double bottom, double bottom_left,
                                              double bottom_right) {
  return [=](double x, double y) {
    if (y < top || y > bottom) return false;
    const double t = (y - top) / (bottom - top);
    return x >= top_left + (bottom_left - top_left) * t &&
           x <= top_right + (bottom_right - top_right) * t;
  };
}

std::function<Colour(double, double)> Solid(Colour colour) {
  return [=](double, double) { return colour; };
}

std::function<Colour(double, double)> Vertical(Colour top_colour, Colour bottom_colour, double top,
                                               double bottom) {
  return
      [=](double, double y) { return Mix(top_colour, bottom_colour, (y - top) / (bottom - top)); };
}

// A screen: a diagonal blue gradient with a soft glare band across its upper left.
std::function<Colour(double, double)> Screen(double left, double top, double right, double bottom) {
  return [=](double x, double y) {
    const double u = (x - left) / (right - left), v = (y - top) / (bottom - top);
    Colour base = Mix(Rgb(12, 52, 140), Rgb(70, 170, 240), 0.55 * u + 0.45 * v);
    const double band = u * 0.9 - v + 0.05;
    if (band > 0 && band < 0.35) base = Mix(base, Rgb(255, 255, 255), 0.18 * (1 - band / 0.35));
    return base;
  };
}

// Scene in design units; `scale` turns them into pixels.
struct Picture {
  int width = 0, height = 0;
  double scale = 1;
  std::vector<Shape> shapes;  // painted in order
};

// Straight-alpha RGBA rows, top row first.
std::vector<Colour> Render(const Picture& picture) {
  constexpr int kSamples = 4;  // per axis: 16 samples per pixel smooth the edges
  std::vector<Colour> pixels(static_cast<std::size_t>(picture.width) * picture.height);
  for (int py = 0; py < picture.height; ++py) {
    for (int px = 0; px < picture.width; ++px) {
      double r = 0, g = 0, b = 0, a = 0;  // premultiplied sums
      for (int sy = 0; sy < kSamples; ++sy) {
        for (int sx = 0; sx < kSamples; ++sx) {
          const double x = (px + (sx + 0.5) / kSamples) / picture.scale;
          const double y = (py + (sy + 0.5) / kSamples) / picture.scale;
          double sr = 0, sg = 0, sb = 0, sa = 0;
          for (const Shape& shape : picture.shapes) {
            if (!shape.contains(x, y)) continue;
            const Colour c = shape.paint(x, y);
            sr = c.r * c.a + sr * (1 - c.a);
            sg = c.g * c.a + sg * (1 - c.a);
            sb = c.b * c.a + sb * (1 - c.a);
            sa = c.a + sa * (1 - c.a);
          }
          r += sr, g += sg, b += sb, a += sa;
        }
      }
      const double n = kSamples * kSamples;
      Colour& out = pixels[static_cast<std::size_t>(py) * picture.width + px];
      out.a = a / n;
      if (out.a > 0) out = {r / n / out.a, g / n / out.a, b / n / out.a, out.a};
    }
  }
  return pixels;
}

std::uint8_t Byte(double v) {
  return static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255));
}

void Put16(std::string& out, unsigned v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

// BITMAPINFOHEADER followed by bottom-up BGRA rows; `premultiply` for AlphaBlend, straight for
// icons. Icons double the height and append the 1-bit AND mask.
std::string Dib(const Picture& picture, const std::vector<Colour>& pixels, bool premultiply,
                bool icon) {
  std::string out;
  Put32(out, 40);
  Put32(out, picture.width);
  Put32(out, icon ? picture.height * 2 : picture.height);
  Put16(out, 1);
  Put16(out, 32);
  Put32(out, 0);  // BI_RGB
  Put32(out, 0);
  Put32(out, 2835);  // 72 DPI
  Put32(out, 2835);
  Put32(out, 0);
  Put32(out, 0);
  for (int y = picture.height - 1; y >= 0; --y) {
    for (int x = 0; x < picture.width; ++x) {
      const Colour& c = pixels[static_cast<std::size_t>(y) * picture.width + x];
      const double k = premultiply ? c.a : 1.0;
      out += static_cast<char>(Byte(c.b * k));
      out += static_cast<char>(Byte(c.g * k));
      out += static_cast<char>(Byte(c.r * k));
      out += static_cast<char>(Byte(c.a));
    }
  }
  if (icon) {
    const int row_bytes = ((picture.width + 31) / 32) * 4;
    for (int y = picture.height - 1; y >= 0; --y) {
      std::string row(row_bytes, '\0');
      for (int x = 0; x < picture.width; ++x) {
        if (pixels[static_cast<std::size_t>(y) * picture.width + x].a < 0.5) {
          row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
        }
      }
      out += row;
    }
  }
  return out;
}

// The icon, designed on a 32-pixel grid: a thin-framed flat screen on a short stand.
Picture Icon(int size) {
  Picture p{size, size, size / 32.0, {}};
  p.shapes.push_back({Ellipse(16, 28.6, 9, 1.8), Solid(Rgb(0, 0, 0, 0.25))});
  p.shapes.push_back({Trapezoid(23, 14, 18, 28, 12.5, 19.5), Solid(Rgb(48, 48, 52))});
  p.shapes.push_back(
      {Ellipse(16, 28, 8, 1.6), Vertical(Rgb(80, 80, 86), Rgb(30, 30, 34), 26.4, 29.6)});
  p.shapes.push_back(
      {RoundedRect(0.5, 3, 31.5, 24, 2), Vertical(Rgb(58, 58, 64), Rgb(18, 18, 20), 3, 24)});
  p.shapes.push_back({RoundedRect(2.5, 5, 29.5, 21.5, 0.5), Screen(2.5, 5, 29.5, 21.5)});
  p.shapes.push_back({Ellipse(16, 22.8, 0.7, 0.5), Solid(Rgb(120, 200, 255))});
  return p;
}

// The About window's television: a wide flat screen on a stand with an oval foot, on a
// transparent background so that it sits on the window's own colour.
Picture Television() {
  Picture p{253, 173, 1.0, {}};
  p.shapes.push_back({Ellipse(126.5, 166.5, 66, 5.5), Solid(Rgb(0, 0, 0, 0.22))});
  p.shapes.push_back({Trapezoid(144, 114, 139, 160, 109, 144),
                      Vertical(Rgb(60, 60, 66), Rgb(28, 28, 32), 144, 160)});
  p.shapes.push_back(
      {Ellipse(126.5, 162.5, 56, 7), Vertical(Rgb(84, 84, 92), Rgb(24, 24, 28), 155.5, 169.5)});
  p.shapes.push_back({Ellipse(126.5, 160.5, 50, 3.5), Solid(Rgb(255, 255, 255, 0.12))});
  p.shapes.push_back(
      {RoundedRect(6, 3, 247, 147, 7), Vertical(Rgb(62, 62, 68), Rgb(16, 16, 18), 3, 147)});
  p.shapes.push_back({RoundedRect(7, 4, 246, 6, 2), Solid(Rgb(255, 255, 255, 0.15))});
  p.shapes.push_back({RoundedRect(14, 11, 239, 136, 1), Screen(14, 11, 239, 136)});
  p.shapes.push_back({Ellipse(126.5, 141.5, 2, 1.6), Solid(Rgb(130, 205, 255))});
  return p;
}

bool WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

// An icon file with the drawing at each of `sizes` (at most 256 pixels).
std::string IconFile(std::span<const int> sizes) {
  std::vector<std::string> images;
  for (int size : sizes) {
    const Picture picture = Icon(size);
    images.push_back(Dib(picture, Render(picture), false, true));
  }
  std::string out;
  Put16(out, 0);
  Put16(out, 1);  // icon
  Put16(out, static_cast<unsigned>(images.size()));
  std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(images.size());
  for (std::size_t i = 0; i < images.size(); ++i) {
    out += static_cast<char>(sizes[i] & 0xFF);  // 256 is written as 0
    out += static_cast<char>(sizes[i] & 0xFF);
    out += '\0';  // no palette
    out += '\0';
    Put16(out, 1);
    Put16(out, 32);
    Put32(out, static_cast<std::uint32_t>(images[i].size()));
    Put32(out, offset);
    offset += static_cast<std::uint32_t>(images[i].size());
  }
  for (const std::string& image : images) out += image;
  return out;
}

std::string BitmapFile() {
  const Picture picture = Television();
  const std::string dib = Dib(picture, Render(picture), true, false);
  std::string out = "BM";
  Put32(out, static_cast<std::uint32_t>(14 + dib.size()));
  Put32(out, 0);
  Put32(out, 14 + 40);
  return out + dib;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--theme-icon") {
    // The sizes of the hicolor icon theme's fixed-size folders that desktops look in.
    constexpr int kThemeSizes[] = {16, 24, 32, 48, 64, 128, 256};
    const bool ok = WriteFile(argv[2], IconFile(kThemeSizes));
    if (!ok) std::fprintf(stderr, "cannot write %s\n", argv[2]);
    return ok ? 0 : 1;
  }
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output folder>\n       %s --theme-icon <file>\n", argv[0],
                 argv[0]);
    return 2;
  }
  // The Windows programs' icon: the small icon, the usual one, the ones for high DPI and the
  // large ones Explorer shows in its bigger views.
  constexpr int kWindowsSizes[] = {16, 24, 32, 48, 64, 128, 256};
  const std::string folder = argv[1];
  const bool ok = WriteFile(folder + "/talvex.ico", IconFile(kWindowsSizes)) &&
                  WriteFile(folder + "/television.bmp", BitmapFile());
  if (!ok) std::fprintf(stderr, "cannot write into %s\n", folder.c_str());
  return ok ? 0 : 1;
}
