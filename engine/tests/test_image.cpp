// Images and their bank: records, the images XML reader, textures made from
// every kind of PNG (and a 16-bit BMP), power-of-two padding, filters under
// the bank's cap, clamping, masks from the alpha channel and drawing at the
// hot spot.
#include <GL/gl.h>
#include <png.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bitmask.h"
#include "image.h"
#include "testsupport.h"
#include "xml.h"

using korvu::Image;
using korvu::ImageBank;
using korvu::Vector2D;

namespace {

GLuint makeTexture() {
  GLuint id = 0;
  glGenTextures(1, &id);
  glBindTexture(GL_TEXTURE_2D, id);
  const unsigned char pixel[4] = {255, 0, 0, 255};
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
  return id;
}

class ImageTextures : public korvu_test::GLWindowTest {
 protected:
  int windowWidth() const override { return 64; }
  int windowHeight() const override { return 64; }
};

struct Rgba {
  uint8_t r, g, b, a;
};

// A PNG of any colour type and depth. rows holds the packed sample bytes of
// each row as the format has them (16-bit samples big-endian).
void writePng(const std::string& path, int width, int height, int colorType, int bitDepth,
              const std::vector<std::vector<uint8_t>>& rows, const std::vector<png_color>& palette = {},
              const std::vector<uint8_t>& paletteAlpha = {}) {
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr) << path;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    FAIL() << "libpng failed on " << path;
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, width, height, bitDepth, colorType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
  if (!paletteAlpha.empty()) {
    png_set_tRNS(png, info, paletteAlpha.data(), static_cast<int>(paletteAlpha.size()), nullptr);
  }
  png_write_info(png, info);
  for (const auto& row : rows) png_write_row(png, const_cast<png_bytep>(row.data()));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  std::fclose(f);
}

// An RGBA picture, top row first.
void writeRgbaPng(const std::string& path, int width, int height, const std::vector<Rgba>& pixels) {
  std::vector<uint8_t> bytes;
  for (const Rgba& p : pixels) bytes.insert(bytes.end(), {p.r, p.g, p.b, p.a});
  korvu_test::writeRgbaPng(path, width, height, bytes);
}

// One colour everywhere.
void writeSolidPng(const std::string& path, int width, int height, Rgba colour) {
  writeRgbaPng(path, width, height, std::vector<Rgba>(static_cast<size_t>(width * height), colour));
}

// A 16-bit (5-6-5) BMP, top row first in the argument.
void writeBmp565(const std::string& path, int width, int height, const std::vector<uint16_t>& pixels) {
  const int rowBytes = (width * 2 + 3) & ~3;
  std::string out(14 + 40 + 12, '\0');
  auto put32 = [&out](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>(v >> (8 * i));
  };
  auto put16 = [&out](size_t at, uint16_t v) {
    out[at] = static_cast<char>(v);
    out[at + 1] = static_cast<char>(v >> 8);
  };
  out[0] = 'B';
  out[1] = 'M';
  put32(2, static_cast<uint32_t>(out.size() + rowBytes * height));
  put32(10, static_cast<uint32_t>(out.size()));
  put32(14, 40);
  put32(18, static_cast<uint32_t>(width));
  put32(22, static_cast<uint32_t>(height));
  put16(26, 1);
  put16(28, 16);
  put32(30, 3);  // bit fields
  put32(34, static_cast<uint32_t>(rowBytes * height));
  put32(54, 0xF800);
  put32(58, 0x07E0);
  put32(62, 0x001F);
  for (int y = height - 1; y >= 0; --y) {  // BMP rows run bottom up
    std::string row(static_cast<size_t>(rowBytes), '\0');
    for (int x = 0; x < width; ++x) {
      const uint16_t v = pixels[static_cast<size_t>(y * width + x)];
      row[static_cast<size_t>(x * 2)] = static_cast<char>(v);
      row[static_cast<size_t>(x * 2 + 1)] = static_cast<char>(v >> 8);
    }
    out += row;
  }
  korvu_test::writeFile(path, out);
}

// The whole level-0 texture of an image as RGBA, top row first (texture row 0).
std::vector<uint8_t> textureRgba(const Image& image) {
  std::vector<uint8_t> pixels(static_cast<size_t>(image.textureWidth) * image.textureHeight * 4);
  glBindTexture(GL_TEXTURE_2D, image.texture);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  return pixels;
}

Rgba texel(const std::vector<uint8_t>& pixels, const Image& image, int x, int y) {
  const uint8_t* p = &pixels[(static_cast<size_t>(y) * image.textureWidth + x) * 4];
  return {p[0], p[1], p[2], p[3]};
}

::testing::AssertionResult sameColour(Rgba got, Rgba want, int tolerance = 0) {
  const int d[4] = {got.r - want.r, got.g - want.g, got.b - want.b, got.a - want.a};
  for (int v : d) {
    if (v > tolerance || -v > tolerance) {
      return ::testing::AssertionFailure() << "got (" << int(got.r) << ", " << int(got.g) << ", " << int(got.b)
                                           << ", " << int(got.a) << ") want (" << int(want.r) << ", "
                                           << int(want.g) << ", " << int(want.b) << ", " << int(want.a) << ")";
    }
  }
  return ::testing::AssertionSuccess();
}

GLint textureParameter(const Image& image, GLenum name) {
  GLint value = 0;
  glBindTexture(GL_TEXTURE_2D, image.texture);
  glGetTexParameteriv(GL_TEXTURE_2D, name, &value);
  return value;
}

std::string imagesXml(const std::string& body) {
  return "<?xml version=\"1.0\"?>\n<images>\n" + body + "</images>\n";
}

}  // namespace

TEST(Image, NewRecordIsUnloaded) {
  Image image("wall", "textures/wall.png", Vector2D(3.0f, 4.0f));
  EXPECT_EQ(image.bank, nullptr);
  EXPECT_EQ(image.hotSpot, Vector2D(3.0f, 4.0f));
  EXPECT_EQ(image.width + image.height + image.textureWidth + image.textureHeight, 0u);
  EXPECT_EQ(image.texture, 0u);
  EXPECT_EQ(image.alphaThreshold, -1.0f);
  EXPECT_EQ(image.bitmask, nullptr);
  EXPECT_FALSE(image.clamp);
  EXPECT_STREQ(korvu::STR_IMAGEFILTER[image.filter], "linear");
  EXPECT_STREQ(korvu::STR_IMAGEFILTER[korvu::IMAGEFILTER_TRILINEAR], "trilinear");
  image.release();  // no texture: no OpenGL call, so this runs without a context
  image.setFilter(korvu::IMAGEFILTER_NONE);
  EXPECT_EQ(image.texture, 0u);
}

TEST(Image, BankOwnsAndImagesLeaveIt) {
  ImageBank bank;
  EXPECT_EQ(bank.maxFilter, korvu::IMAGEFILTER_LINEAR);
  Image* a = new Image("a", "a.png", Vector2D());
  bank += a;
  bank += new Image("b", "b.png", Vector2D());
  delete a;
  EXPECT_EQ(bank.find("a"), bank.end());
  bank += new Image("b", "other.png", Vector2D());  // replaces the older "b"
  ASSERT_EQ(bank.size(), 1u);
  EXPECT_EQ(bank.find("b")->second->fileName, "other.png");
}

TEST(ImageXml, EntriesAreReadWithFallbacksAndPathsBesideTheFile) {
  const std::string dir = korvu_test::makeTempDir();
  korvu_test::writeFile(dir + "/list.xml",
                        imagesXml("<image name=\"flare\" filename=\"flare.png\" hotX=\"16\" hotY=\"8.5\" "
                                  "clamp=\"t\" filter=\"trilinear\"/>\n"
                                  "<image filename=\"sub/dot.png\" clamp=\"yes\" filter=\"Trilinear\"/>\n"
                                  "<image name=\"nofile\"/>\n"
                                  "<image/>\n"
                                  "<picture name=\"other\" filename=\"other.png\"/>\n"
                                  "<image name=\"twice\" filename=\"first.png\"/>\n"
                                  "<image name=\"twice\" filename=\"second.png\" filter=\"none\"/>\n"));
  ImageBank bank;
  testing::internal::CaptureStdout();
  bank.load(dir + "/list.xml");
  const std::string log = testing::internal::GetCapturedStdout();

  ASSERT_EQ(bank.size(), 3u);
  const Image* flare = bank["flare"];
  ASSERT_NE(flare, nullptr);
  EXPECT_EQ(flare->fileName, dir + "/flare.png");
  EXPECT_EQ(flare->hotSpot, Vector2D(16.0f, 8.5f));
  EXPECT_TRUE(flare->clamp);
  EXPECT_EQ(flare->filter, korvu::IMAGEFILTER_TRILINEAR);
  EXPECT_EQ(flare->texture, 0u);  // declared, not loaded
  EXPECT_EQ(flare->bank, &bank);

  // No name: the file name is the key; unknown words keep the defaults.
  const Image* dot = bank["sub/dot.png"];
  ASSERT_NE(dot, nullptr);
  EXPECT_EQ(dot->fileName, dir + "/sub/dot.png");
  EXPECT_FALSE(dot->clamp);
  EXPECT_EQ(dot->filter, korvu::IMAGEFILTER_LINEAR);
  EXPECT_EQ(bank["twice"]->fileName, dir + "/second.png");
  EXPECT_EQ(bank["twice"]->filter, korvu::IMAGEFILTER_NONE);

  EXPECT_NE(log.find("No name specified for image. Using filename."), std::string::npos) << log;
  EXPECT_NE(log.find("No filename specified for image \"nofile\". Skipping entry."), std::string::npos) << log;
  EXPECT_NE(log.find("No filename specified for image \"(no name)\". Skipping entry."), std::string::npos) << log;
}

TEST(ImageXml, FolderPrefixRootNameAndUnreadableFiles) {
  const std::string dir = korvu_test::makeTempDir();
  ImageBank bank;
  // A path without a slash has no folder; a backslash is no separator.
  korvu::xml::Node root;
  root.name = "images";
  korvu::xml::Node* entry = new korvu::xml::Node();
  entry->name = "image";
  (*entry)["filename"] = "a.png";
  root += entry;
  bank.getFromNode(&root, "gui\\");
  ASSERT_EQ(bank.size(), 1u);
  EXPECT_EQ(bank["a.png"]->fileName, "gui\\a.png");

  korvu_test::writeFile(dir + "/other.xml", "<textures><image name=\"x\" filename=\"x.png\"/></textures>");
  bank.load(dir + "/other.xml");
  EXPECT_EQ(bank.size(), 1u);

  EXPECT_THROW(bank.load(dir + "/missing.xml"), std::string);
  korvu_test::writeFile(dir + "/broken.xml", "<images><image name=\"x\"");
  EXPECT_THROW(bank.load(dir + "/broken.xml"), std::string);
  EXPECT_EQ(bank.size(), 1u);
}

TEST_F(ImageTextures, ReleaseDeletesTheTextureAndKeepsTheRecord) {
  ImageBank bank;
  Image* a = new Image("a", "a.png", Vector2D());
  Image* b = new Image("b", "b.png", Vector2D());
  bank += a;
  bank += b;
  a->texture = makeTexture();
  b->texture = makeTexture();
  const GLuint first = a->texture;
  ASSERT_TRUE(glIsTexture(first));

  a->release();
  EXPECT_EQ(a->texture, 0u);
  EXPECT_FALSE(glIsTexture(first));
  a->release();
  EXPECT_EQ(a->bank, &bank);
  EXPECT_EQ(a->fileName, "a.png");

  a->texture = makeTexture();
  const GLuint again = a->texture;
  const GLuint second = b->texture;
  bank.release();
  EXPECT_EQ(a->texture, 0u);
  EXPECT_EQ(b->texture, 0u);
  EXPECT_FALSE(glIsTexture(again));
  EXPECT_FALSE(glIsTexture(second));
  EXPECT_EQ(bank.size(), 2u);

  // Destroying an image gives its texture back as well.
  b->texture = makeTexture();
  const GLuint last = b->texture;
  delete b;
  EXPECT_FALSE(glIsTexture(last));
  EXPECT_EQ(bank.size(), 1u);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(ImageTextures, EveryPixelFormatUploadsWithItsColours) {
  const std::string dir = korvu_test::makeTempDir();
  const Rgba red{255, 0, 0, 255}, green{0, 255, 0, 255}, blue{0, 0, 255, 255}, white{255, 255, 255, 255};
  struct Case {
    const char* file;
    int width, height;
    std::vector<Rgba> want;  // top row first
  };
  std::vector<Case> cases;

  // Paletted, 8 bits, with one transparent and one half-transparent entry.
  {
    std::vector<png_color> palette = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {10, 20, 30}};
    std::vector<uint8_t> alpha = {255, 255, 128, 0};
    writePng(dir + "/palette.png", 3, 2, PNG_COLOR_TYPE_PALETTE, 8, {{0, 1, 2}, {3, 0, 1}}, palette, alpha);
    cases.push_back({"palette.png", 3, 2, {red, green, {0, 0, 255, 128}, {10, 20, 30, 0}, red, green}});
  }
  // Paletted without transparency, 4 bits per pixel.
  {
    std::vector<png_color> palette = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    writePng(dir + "/palette4.png", 3, 1, PNG_COLOR_TYPE_PALETTE, 4, {{0x01, 0x20}}, palette);
    cases.push_back({"palette4.png", 3, 1, {red, green, blue}});
  }
  // Grey, 8 bits.
  {
    writePng(dir + "/grey.png", 2, 2, PNG_COLOR_TYPE_GRAY, 8, {{0, 64}, {128, 255}});
    cases.push_back({"grey.png", 2, 2, {{0, 0, 0, 255}, {64, 64, 64, 255}, {128, 128, 128, 255}, white}});
  }
  // Grey with alpha: 16 bits per pixel.
  {
    writePng(dir + "/greyalpha.png", 2, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 8, {{200, 255, 50, 100}});
    cases.push_back({"greyalpha.png", 2, 1, {{200, 200, 200, 255}, {50, 50, 50, 100}}});
  }
  // RGB with 16-bit samples (big-endian in the file).
  {
    writePng(dir + "/rgb16.png", 2, 1, PNG_COLOR_TYPE_RGB, 16,
             {{0xFF, 0xFF, 0, 0, 0x80, 0x00, 0, 0, 0xFF, 0xFF, 0x40, 0x00}});
    cases.push_back({"rgb16.png", 2, 1, {{255, 0, 128, 255}, {0, 255, 64, 255}}});
  }
  // RGB, 24 bits, five wide so rows are not a multiple of four bytes.
  {
    std::vector<uint8_t> row = {255, 0, 0, 0, 255, 0, 0, 0, 255, 1, 2, 3, 250, 251, 252};
    writePng(dir + "/rgb.png", 5, 2, PNG_COLOR_TYPE_RGB, 8, {row, row});
    std::vector<Rgba> want = {red, green, blue, {1, 2, 3, 255}, {250, 251, 252, 255}};
    want.insert(want.end(), want.begin(), want.end());
    cases.push_back({"rgb.png", 5, 2, want});
  }
  // RGBA, 32 bits.
  {
    writeRgbaPng(dir + "/rgba.png", 2, 2, {red, {0, 255, 0, 10}, {1, 2, 3, 0}, white});
    cases.push_back({"rgba.png", 2, 2, {red, {0, 255, 0, 10}, {1, 2, 3, 0}, white}});
  }
  // A 16-bit 5-6-5 surface (the BMP reader keeps that depth).
  {
    writeBmp565(dir + "/rgb565.bmp", 3, 1, {0xF800, 0x07E0, 0x001F});
    cases.push_back({"rgb565.bmp", 3, 1, {red, green, blue}});
  }

  ImageBank bank;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    Image* image = new Image(c.file, dir + "/" + c.file, Vector2D());
    bank += image;
    ASSERT_NO_THROW(image->load());
    ASSERT_NE(image->texture, 0u);
    EXPECT_EQ(image->width, static_cast<uint32_t>(c.width));
    EXPECT_EQ(image->height, static_cast<uint32_t>(c.height));
    const std::vector<uint8_t> pixels = textureRgba(*image);
    for (int y = 0; y < c.height; ++y) {
      for (int x = 0; x < c.width; ++x) {
        EXPECT_TRUE(sameColour(texel(pixels, *image, x, y), c.want[static_cast<size_t>(y * c.width + x)], 1))
            << "pixel " << x << ", " << y;
      }
    }
  }
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

  // A frame of every format, scaled up, nearest filtering, on grey.
  glClearColor(0.3f, 0.3f, 0.3f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, 64, 0, 64, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glColor4f(1, 1, 1, 1);
  int slot = 0;
  for (auto& entry : bank) {
    entry.second->setFilter(korvu::IMAGEFILTER_NONE);
    glPushMatrix();
    glTranslatef(static_cast<float>(2 + (slot % 3) * 21), static_cast<float>(44 - (slot / 3) * 21), 0);
    glScalef(3, 3, 1);
    entry.second->draw(Vector2D());
    glPopMatrix();
    ++slot;
  }
  glDisable(GL_BLEND);
  korvu_test::saveWindowArtifact("image_pixel_formats");
}

TEST_F(ImageTextures, PicturesArePaddedToPowersOfTwoWithTransparentBlack) {
  const std::string dir = korvu_test::makeTempDir();
  writeSolidPng(dir + "/wide.png", 100, 50, {200, 100, 50, 255});
  writeSolidPng(dir + "/square.png", 64, 64, {1, 2, 3, 255});
  writeSolidPng(dir + "/dot.png", 1, 1, {9, 9, 9, 255});
  writePng(dir + "/opaque.png", 3, 3, PNG_COLOR_TYPE_RGB, 8, {{9, 9, 9, 9, 9, 9, 9, 9, 9}, {9, 9, 9, 9, 9, 9, 9, 9, 9},
                                                               {9, 9, 9, 9, 9, 9, 9, 9, 9}});
  struct Case {
    const char* file;
    uint32_t tw, th;
    bool warned;
  } cases[] = {{"wide.png", 128, 64, true}, {"square.png", 64, 64, false}, {"dot.png", 1, 1, false},
               {"opaque.png", 4, 4, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    Image image(c.file, dir + "/" + c.file, Vector2D());
    testing::internal::CaptureStdout();
    image.load();
    const std::string log = testing::internal::GetCapturedStdout();
    EXPECT_EQ(image.textureWidth, c.tw);
    EXPECT_EQ(image.textureHeight, c.th);
    const std::string warning = "\"" + image.fileName + "\" does not have power of 2 dimensions. Fixing image.";
    EXPECT_EQ(log.find(warning) != std::string::npos, c.warned) << log;
    const std::vector<uint8_t> pixels = textureRgba(image);
    const Rgba inside = texel(pixels, image, static_cast<int>(image.width) - 1, static_cast<int>(image.height) - 1);
    EXPECT_EQ(inside.a, 255);
    if (image.textureWidth > image.width) {
      // A picture without alpha gets an RGB texture: its padding reads opaque.
      const uint8_t alpha = std::string(c.file) == "opaque.png" ? 255 : 0;
      EXPECT_TRUE(sameColour(texel(pixels, image, static_cast<int>(image.width), 0), {0, 0, 0, alpha}));
      EXPECT_TRUE(sameColour(texel(pixels, image, 0, static_cast<int>(image.height)), {0, 0, 0, alpha}));
    }
  }
  // Texture coordinates of the picture's corner.
  Image wide("wide", dir + "/wide.png", Vector2D());
  wide.load();
  EXPECT_FLOAT_EQ(static_cast<float>(wide.width) / wide.textureWidth, 0.78125f);
  EXPECT_FLOAT_EQ(static_cast<float>(wide.height) / wide.textureHeight, 0.78125f);
}

TEST_F(ImageTextures, FiltersFollowTheOwnFilterAndTheBanksCap) {
  const std::string dir = korvu_test::makeTempDir();
  writeSolidPng(dir + "/a.png", 8, 8, {255, 255, 255, 255});
  ImageBank bank;
  Image* tri = new Image("tri", dir + "/a.png", Vector2D());
  tri->filter = korvu::IMAGEFILTER_TRILINEAR;
  Image* bi = new Image("bi", dir + "/a.png", Vector2D());
  bi->filter = korvu::IMAGEFILTER_BILINEAR;
  Image* lin = new Image("lin", dir + "/a.png", Vector2D());
  lin->clamp = true;
  Image* none = new Image("none", dir + "/a.png", Vector2D());
  none->filter = korvu::IMAGEFILTER_NONE;
  for (Image* image : {tri, bi, lin, none}) bank += image;

  bank.refresh();  // maximum linear
  EXPECT_EQ(textureParameter(*tri, GL_TEXTURE_MIN_FILTER), GL_LINEAR);
  EXPECT_EQ(textureParameter(*bi, GL_TEXTURE_MIN_FILTER), GL_LINEAR);
  EXPECT_EQ(textureParameter(*lin, GL_TEXTURE_MIN_FILTER), GL_LINEAR);
  EXPECT_EQ(textureParameter(*none, GL_TEXTURE_MAG_FILTER), GL_NEAREST);
  // Mipmaps were built for the mipmapped filters only.
  GLint smallest = 0;
  glBindTexture(GL_TEXTURE_2D, tri->texture);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 3, GL_TEXTURE_WIDTH, &smallest);
  EXPECT_EQ(smallest, 1);
  glBindTexture(GL_TEXTURE_2D, lin->texture);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 1, GL_TEXTURE_WIDTH, &smallest);
  EXPECT_EQ(smallest, 0);
  // Clamping only where asked.
  EXPECT_EQ(textureParameter(*lin, GL_TEXTURE_WRAP_S), GL_CLAMP_TO_EDGE);
  EXPECT_EQ(textureParameter(*lin, GL_TEXTURE_WRAP_T), GL_CLAMP_TO_EDGE);
  EXPECT_EQ(textureParameter(*tri, GL_TEXTURE_WRAP_S), GL_REPEAT);

  // Raising the cap switches without reloading.
  const GLuint texture = tri->texture;
  bank.maxFilter = korvu::IMAGEFILTER_TRILINEAR;
  bank.refresh();
  EXPECT_EQ(tri->texture, texture);
  EXPECT_EQ(textureParameter(*tri, GL_TEXTURE_MIN_FILTER), GL_LINEAR_MIPMAP_LINEAR);
  EXPECT_EQ(textureParameter(*tri, GL_TEXTURE_MAG_FILTER), GL_LINEAR);
  EXPECT_EQ(textureParameter(*bi, GL_TEXTURE_MIN_FILTER), GL_NEAREST_MIPMAP_LINEAR);
  EXPECT_EQ(textureParameter(*lin, GL_TEXTURE_MIN_FILTER), GL_LINEAR);

  bank.maxFilter = korvu::IMAGEFILTER_BILINEAR;
  bank.refresh();
  EXPECT_EQ(textureParameter(*tri, GL_TEXTURE_MIN_FILTER), GL_NEAREST_MIPMAP_LINEAR);
  bank.maxFilter = korvu::IMAGEFILTER_NONE;
  bank.refresh();
  EXPECT_EQ(textureParameter(*tri, GL_TEXTURE_MIN_FILTER), GL_NEAREST);

  // An image in no bank is not capped; a value out of range changes nothing.
  bank -= tri;
  tri->refresh();
  EXPECT_EQ(textureParameter(*tri, GL_TEXTURE_MIN_FILTER), GL_LINEAR_MIPMAP_LINEAR);
  testing::internal::CaptureStdout();
  tri->setFilter(static_cast<korvu::ImageFilter>(7));
  const std::string log = testing::internal::GetCapturedStdout();
  EXPECT_NE(log.find("Not setting filter for image \"tri\" because of internal error!"), std::string::npos);
  EXPECT_EQ(textureParameter(*tri, GL_TEXTURE_MIN_FILTER), GL_LINEAR_MIPMAP_LINEAR);
  delete tri;
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(ImageTextures, FailedLoadsAreReportedAndTheRestStillLoad) {
  const std::string dir = korvu_test::makeTempDir();
  writeSolidPng(dir + "/good.png", 4, 4, {1, 2, 3, 255});
  korvu_test::writeFile(dir + "/junk.png", "not a picture at all");
  ImageBank bank;
  bank += new Image("a-missing", dir + "/missing.png", Vector2D());
  bank += new Image("b-junk", dir + "/junk.png", Vector2D());
  bank += new Image("c-good", dir + "/good.png", Vector2D());
  try {
    bank.refresh();
    ADD_FAILURE() << "refresh reported success";
  } catch (const std::string& message) {
    EXPECT_EQ(message.find("Could not load \"" + dir + "/missing.png\": "), 0u) << message;
    EXPECT_NE(message.find("Could not load \"" + dir + "/junk.png\": "), std::string::npos) << message;
  }
  EXPECT_EQ(bank["a-missing"]->texture, 0u);
  EXPECT_EQ(bank["b-junk"]->texture, 0u);
  EXPECT_NE(bank["c-good"]->texture, 0u);

  // A reload of a picture that vanished leaves no texture and says so.
  Image* good = bank["c-good"];
  std::remove((dir + "/good.png").c_str());
  EXPECT_THROW(good->reload(), std::string);
  EXPECT_EQ(good->texture, 0u);
  EXPECT_EQ(good->width, 4u);

  // A PNG cut short inside a chunk that claims 16 MB is refused at once; the
  // PNG reader would otherwise read past its end for ever.
  writeSolidPng(dir + "/whole.png", 8, 8, {1, 2, 3, 255});
  std::string bytes = korvu_test::readFile(dir + "/whole.png");
  const std::string cut = bytes.substr(0, 33) + std::string("\x00\xff\x00\x02tRNS\x00\x80", 10);
  korvu_test::writeFile(dir + "/cut.png", cut);
  Image truncated("cut", dir + "/cut.png", Vector2D());
  try {
    truncated.load();
    ADD_FAILURE() << "a truncated PNG loaded";
  } catch (const std::string& message) {
    EXPECT_NE(message.find("truncated or corrupt"), std::string::npos) << message;
  }
}

TEST_F(ImageTextures, MaskFromTheAlphaChannel) {
  const std::string dir = korvu_test::makeTempDir();
  // 34 wide, so each row takes two words; the threshold is 0.5.
  std::vector<Rgba> pixels(34 * 3, Rgba{0, 0, 0, 0});
  pixels[0] = {0, 0, 0, 255};                 // row 0, column 0
  pixels[33] = {0, 0, 0, 129};                // row 0, column 33: 129 / 256 > 0.5
  pixels[34 + 32] = {0, 0, 0, 128};           // row 1, column 32: exactly 0.5, not set
  pixels[2 * 34 + 31] = {255, 255, 255, 200}; // row 2, column 31
  writeRgbaPng(dir + "/mask.png", 34, 3, pixels);
  writePng(dir + "/opaque.png", 2, 1, PNG_COLOR_TYPE_RGB, 8, {{1, 2, 3, 4, 5, 6}});

  Image image("mask", dir + "/mask.png", Vector2D());
  image.load();
  EXPECT_EQ(image.bitmask, nullptr);  // no threshold, no mask
  image.alphaThreshold = 0.5f;
  image.reload();
  ASSERT_NE(image.bitmask, nullptr);
  const korvu::Bitmask& mask = *image.bitmask;
  EXPECT_EQ(mask.width, 34);
  EXPECT_EQ(mask.height, 3);
  EXPECT_EQ(mask.wordCount, 6);
  EXPECT_EQ(mask.words[0], 0x80000000u);
  EXPECT_EQ(mask.words[1], 0x40000000u);
  EXPECT_EQ(mask.words[2] | mask.words[3], 0u);
  EXPECT_EQ(mask.words[4], 0x00000001u);
  EXPECT_EQ(mask.words[5], 0u);

  // A picture without alpha is opaque everywhere.
  Image opaque("opaque", dir + "/opaque.png", Vector2D());
  opaque.alphaThreshold = 0.0f;
  opaque.load();
  ASSERT_NE(opaque.bitmask, nullptr);
  EXPECT_EQ(opaque.bitmask->words[0], 0xC0000000u);
}

TEST_F(ImageTextures, DrawingPutsTheHotSpotAtThePosition) {
  const std::string dir = korvu_test::makeTempDir();
  // 32 x 32: the top half red, the bottom half blue.
  std::vector<Rgba> pixels(32 * 32);
  for (int i = 0; i < 32 * 32; ++i) pixels[static_cast<size_t>(i)] = i < 32 * 16 ? Rgba{255, 0, 0, 255} : Rgba{0, 0, 255, 255};
  writeRgbaPng(dir + "/half.png", 32, 32, pixels);
  Image image("half", dir + "/half.png", Vector2D(16.0f, 16.0f));
  image.refresh();

  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, 64, 0, 64, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glColor4f(1, 1, 1, 1);
  image.draw(Vector2D(32.0f, 32.0f));
  // Not centred at (32, 32): the red half lies above y 32.
  const std::vector<uint8_t> frame = korvu_test::readPixels(0, 0, 64, 64);
  auto at = [&frame](int x, int y) {
    const uint8_t* p = &frame[(static_cast<size_t>(y) * 64 + x) * 4];
    return Rgba{p[0], p[1], p[2], p[3]};
  };
  EXPECT_TRUE(sameColour(at(17, 47), {255, 0, 0, 255}));
  EXPECT_TRUE(sameColour(at(46, 32), {255, 0, 0, 255}));
  EXPECT_TRUE(sameColour(at(17, 16), {0, 0, 255, 255}));
  EXPECT_TRUE(sameColour(at(46, 31), {0, 0, 255, 255}));
  EXPECT_TRUE(sameColour(at(15, 32), {0, 0, 0, 0}));
  EXPECT_TRUE(sameColour(at(48, 32), {0, 0, 0, 0}));
  EXPECT_TRUE(sameColour(at(32, 48), {0, 0, 0, 0}));
  EXPECT_TRUE(sameColour(at(32, 15), {0, 0, 0, 0}));
  // The matrix and texture state are left as found.
  GLfloat m[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, m);
  EXPECT_EQ(m[12], 0.0f);
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
  korvu_test::saveWindowArtifact("image_hot_spot_centre");
}
