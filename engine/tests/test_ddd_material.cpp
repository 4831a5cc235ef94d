// Reading materials files into the material bank, and the transparency rule.
#include <gtest/gtest.h>

#include <string>

#include "ddd/material.h"
#include "ddd/materialbank.h"
#include "image.h"
#include "testsupport.h"

using korvu::Image;
using korvu::ImageBank;
using korvu::ddd::Material;
using korvu::ddd::MaterialBank;

namespace {

std::string writeMaterials(const std::string& body) {
  std::string path = korvu_test::makeTempDir() + "/materials.xml";
  korvu_test::writeFile(path, "<?xml version=\"1.0\"?>\n<materials>\n" + body + "</materials>\n");
  return path;
}

Material* find(MaterialBank& bank, const std::string& name) {
  auto it = bank.find(name);
  return it == bank.end() ? nullptr : it->second;
}

}  // namespace

TEST(DddMaterialFile, ReadsColoursInBothFormsAndDefaults) {
  MaterialBank bank;
  bank.load(writeMaterials("<material name=\"hull\" shininess=\"12.5\">\n"
                           "  <ambient code=\"FF8000FF\"/>\n"
                           "  <diffuse red=\"0.25\" green=\"0.5\"/>\n"
                           "  <specular red=\"1\" green=\"1\" blue=\"1\" alpha=\"0.5\"/>\n"
                           "  <specular code=\"00000080\"/>\n"
                           "  <shine red=\"1\"/>\n"
                           "</material>\n"
                           "<material name=\"bare\"/>\n"
                           "<texture name=\"ignored\"/>\n"),
            nullptr, "resources/textures/");
  ASSERT_EQ(bank.size(), 2u);
  Material* hull = find(bank, "hull");
  ASSERT_NE(hull, nullptr);
  EXPECT_EQ(hull->bank, &bank);
  EXPECT_FLOAT_EQ(hull->shininess, 12.5f);
  EXPECT_FLOAT_EQ(hull->ambient.red, 1.0f);
  EXPECT_FLOAT_EQ(hull->ambient.green, 128.0f / 255.0f);
  EXPECT_FLOAT_EQ(hull->ambient.blue, 0.0f);
  EXPECT_FLOAT_EQ(hull->ambient.alpha, 1.0f);
  // The attribute form: missing channels are 0, a missing alpha is 1.
  EXPECT_FLOAT_EQ(hull->diffuse.red, 0.25f);
  EXPECT_FLOAT_EQ(hull->diffuse.green, 0.5f);
  EXPECT_FLOAT_EQ(hull->diffuse.blue, 0.0f);
  EXPECT_FLOAT_EQ(hull->diffuse.alpha, 1.0f);
  // The later of two elements of the same colour wins.
  EXPECT_FLOAT_EQ(hull->specular.red, 0.0f);
  EXPECT_FLOAT_EQ(hull->specular.alpha, 128.0f / 255.0f);
  // No emissive element: all zero.
  EXPECT_EQ(hull->emissive, korvu::Color(0, 0, 0, 0));
  EXPECT_EQ(hull->texture, nullptr);

  Material* bare = find(bank, "bare");
  ASSERT_NE(bare, nullptr);
  EXPECT_FLOAT_EQ(bare->shininess, 0.0f);
  EXPECT_EQ(bare->diffuse, korvu::Color(0, 0, 0, 0));
}

TEST(DddMaterialFile, SkipsNamelessEntriesAndIgnoresOtherRoots) {
  MaterialBank bank;
  bank.load(writeMaterials("<material shininess=\"3\"/>\n<material name=\"ok\"/>\n"), nullptr, "");
  EXPECT_EQ(bank.size(), 1u);
  EXPECT_NE(find(bank, "ok"), nullptr);

  std::string other = korvu_test::makeTempDir() + "/models.xml";
  korvu_test::writeFile(other, "<models><material name=\"stray\"/></models>");
  bank.load(other, nullptr, "");
  EXPECT_EQ(bank.size(), 1u);
  EXPECT_EQ(find(bank, "stray"), nullptr);
}

TEST(DddMaterialFile, ErrorsOfTheXmlLayerReachTheCaller) {
  MaterialBank bank;
  try {
    bank.load(korvu_test::makeTempDir() + "/missing.xml", nullptr, "");
    FAIL() << "a missing file must throw";
  } catch (const std::string& message) {
    EXPECT_EQ(message, "Could not open XML file");
  }
  std::string broken = korvu_test::makeTempDir() + "/broken.xml";
  korvu_test::writeFile(broken, "<materials><material name=\"a\">");
  EXPECT_THROW(bank.load(broken, nullptr, ""), std::string);
  EXPECT_TRUE(bank.empty());
}

TEST(DddMaterialFile, RepeatedNameReplacesTheEarlierMaterial) {
  MaterialBank bank;
  bank.load(writeMaterials("<material name=\"paint\" shininess=\"1\"/>\n"
                           "<material name=\"paint\" shininess=\"2\"/>\n"),
            nullptr, "");
  ASSERT_EQ(bank.size(), 1u);
  EXPECT_FLOAT_EQ(find(bank, "paint")->shininess, 2.0f);
  // Loading again replaces the entry once more and leaves the bank consistent.
  bank.load(writeMaterials("<material name=\"paint\" shininess=\"7\"/>\n"), nullptr, "");
  ASSERT_EQ(bank.size(), 1u);
  EXPECT_FLOAT_EQ(find(bank, "paint")->shininess, 7.0f);
  EXPECT_EQ(find(bank, "paint")->bank, &bank);
}

TEST(DddMaterialFile, TexturesJoinThePathAndTakeClampAndFilter) {
  MaterialBank bank;
  ImageBank images;
  bank.load(writeMaterials("<material name=\"sky\" texture=\"sky.png\" clamp=\"true\" filter=\"trilinear\"/>\n"
                           "<material name=\"road\" texture=\"road.png\" filter=\"Trilinear\"/>\n"
                           "<material name=\"grass\" texture=\"grass.png\" clamp=\"yes\" filter=\"none\"/>\n"),
            &images, "resources/textures/");
  ASSERT_EQ(images.size(), 3u);
  const Image* sky = find(bank, "sky")->texture;
  ASSERT_NE(sky, nullptr);
  EXPECT_EQ(sky, images["sky.png"]);
  EXPECT_EQ(sky->fileName, "resources/textures/sky.png");
  EXPECT_TRUE(sky->clamp);
  EXPECT_EQ(static_cast<int>(sky->filter), 3);
  EXPECT_EQ(sky->texture, 0u);  // not loaded by the reader

  const Image* road = find(bank, "road")->texture;
  EXPECT_FALSE(road->clamp);
  EXPECT_EQ(static_cast<int>(road->filter), 1);  // the word is case sensitive

  const Image* grass = find(bank, "grass")->texture;
  EXPECT_FALSE(grass->clamp);
  EXPECT_EQ(static_cast<int>(grass->filter), 0);

  // A path without a trailing slash is joined as it is.
  MaterialBank other;
  ImageBank moreImages;
  other.load(writeMaterials("<material name=\"m\" texture=\"t.png\"/>\n"), &moreImages, "textures");
  EXPECT_EQ(find(other, "m")->texture->fileName, "texturest.png");

  // Without an image bank the texture attribute is not read.
  MaterialBank plain;
  plain.load(writeMaterials("<material name=\"m\" texture=\"t.png\"/>\n"), nullptr, "textures/");
  EXPECT_EQ(find(plain, "m")->texture, nullptr);
}

TEST(DddMaterialFile, MaterialsNamingOneTextureShareTheImage) {
  MaterialBank bank;
  ImageBank images;
  bank.load(writeMaterials("<material name=\"a\" texture=\"shared.png\"/>\n"
                           "<material name=\"b\" texture=\"shared.png\" clamp=\"1\"/>\n"),
            &images, "tex/");
  ASSERT_EQ(images.size(), 1u);
  Image* image = images["shared.png"];
  EXPECT_EQ(find(bank, "a")->texture, image);
  EXPECT_EQ(find(bank, "b")->texture, image);
  EXPECT_EQ(image->bank, &images);
  EXPECT_EQ(image->fileName, "tex/shared.png");
  // The later element's explicit settings still reach the unloaded image.
  EXPECT_TRUE(image->clamp);
  EXPECT_EQ(static_cast<int>(image->filter), 1);

  // An image the bank already holds (from the texture list) is used as well.
  ImageBank listed;
  Image* prior = new Image("stone.png", "elsewhere/stone.png", korvu::Vector2D(0, 0));
  listed += prior;
  MaterialBank second;
  second.load(writeMaterials("<material name=\"wall\" texture=\"stone.png\"/>\n"), &listed, "tex/");
  EXPECT_EQ(listed.size(), 1u);
  EXPECT_EQ(find(second, "wall")->texture, prior);
  EXPECT_EQ(prior->fileName, "elsewhere/stone.png");
}

TEST(DddMaterial, PrepareMarksOnlyPartialDiffuseAlphaTransparent) {
  Material m;
  for (float alpha : {0.5f, 0.01f, 0.99f}) {
    m.diffuse.alpha = alpha;
    m.prepare();
    EXPECT_TRUE(m.transparent) << alpha;
  }
  for (float alpha : {0.0f, 1.0f}) {
    m.diffuse.alpha = alpha;
    m.prepare();
    EXPECT_FALSE(m.transparent) << alpha;
  }

  MaterialBank bank;
  bank.load(writeMaterials("<material name=\"glass\"><diffuse red=\"1\" alpha=\"0.5\"/></material>\n"
                           "<material name=\"metal\"><diffuse red=\"1\"/></material>\n"
                           "<material name=\"none\"/>\n"),
            nullptr, "");
  bank.prepare();
  EXPECT_TRUE(find(bank, "glass")->transparent);
  EXPECT_FALSE(find(bank, "metal")->transparent);
  EXPECT_FALSE(find(bank, "none")->transparent);
}

