#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <chrono>
#include <cmath>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "filesystemshim.h"
#include "testsupport.h"
#include "xml.h"

using korvu::xml::Node;
using korvu_test::makeTempDir;
using korvu_test::readFile;
using korvu_test::writeFile;

namespace {

const std::string DECL = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\" ?>\n";

Node* element(const std::string& name) {
  Node* n = new Node();
  n->name = name;
  return n;
}

// The message a load throws, or "" when it succeeds; an OpenError is marked.
std::string loadError(const std::string& path) {
  try {
    std::unique_ptr<Node> root(korvu::xml::loadXML(path.c_str()));
    if (!root) return "(no root)";
  } catch (const korvu::xml::OpenError& failure) {
    return "(did not open) " + failure;
  } catch (const std::string& message) {
    return message;
  }
  return "";
}

std::unique_ptr<Node> load(const std::string& path) {
  return std::unique_ptr<Node>(korvu::xml::loadXML(path.c_str()));
}

int openFileCount() {
  int count = 0;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (readdir(dir)) ++count;
    closedir(dir);
  }
  return count;
}

std::vector<std::string> listDir(const std::string& path) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(path.c_str())) {
    while (dirent* e = readdir(dir)) {
      std::string n = e->d_name;
      if (n != "." && n != "..") names.push_back(n);
    }
    closedir(dir);
  }
  return names;
}

}  // namespace

// ---------------------------------------------------------------------------
// Writing

TEST(XmlWrite, IndentAttributeOrderAndEscaping) {
  std::string dir = makeTempDir();
  std::unique_ptr<Node> profiles(element("profiles"));
  Node* profile = element("profile");
  (*profile)["name"] = "A&B";
  *profiles += profile;
  profiles->saveXML((dir + "/p.xml").c_str());
  EXPECT_EQ(readFile(dir + "/p.xml"), DECL + "<profiles>\n  <profile name=\"A&amp;B\"/>\n</profiles>\n");

  std::unique_ptr<Node> root(element("r"));
  (*root)["b"] = "1";
  (*root)["B"] = "2";
  (*root)["a"] = "3";
  Node* mid = element("m");
  Node* leaf = element("l");
  (*leaf)["v"] = "q\"a&b'<c>\x01\xc3\xa9\xff";
  *mid += leaf;
  *root += mid;
  *root += element("e");
  EXPECT_EQ(root->toString(0),
            "<r B=\"2\" a=\"3\" b=\"1\">\n"
            "  <m>\n"
            "    <l v=\"q&quot;a&amp;b'&lt;c&gt;\x01\xc3\xa9\xff\"/>\n"
            "  </m>\n"
            "  <e/>\n"
            "</r>\n");
  EXPECT_EQ(leaf->toString(3), "   <l v=\"q&quot;a&amp;b'&lt;c&gt;\x01\xc3\xa9\xff\"/>\n");
  EXPECT_EQ(Node().toString(-4), "</>\n");
}

TEST(XmlWrite, TextIsDroppedAndTreeReadsBackUnchanged) {
  std::string dir = makeTempDir();
  writeFile(dir + "/in.xml",
            "<?xml version=\"1.0\"?>\n<!-- c --><root x='1'>text<a y=\"&quot;&amp;'\">more</a><?pi x?>"
            "<b/><b z=\"\"/></root>\n");
  std::unique_ptr<Node> root = load(dir + "/in.xml");
  const std::string expected =
      "<root x=\"1\">\n  <a y=\"&quot;&amp;'\"/>\n  <b/>\n  <b z=\"\"/>\n</root>\n";
  EXPECT_EQ(root->toString(0), expected);
  root->saveXML((dir + "/out.xml").c_str());
  std::unique_ptr<Node> again = load(dir + "/out.xml");
  EXPECT_EQ(again->toString(0), expected);
  EXPECT_EQ(readFile(dir + "/out.xml"), DECL + expected);
}

// ---------------------------------------------------------------------------
// Attributes

TEST(XmlAttributes, PresentValuesParseAbsentOnesDefault) {
  const char* attrs[] = {"k", "first", "t", "t", "T", "TRUE", "empty", "", "hex", "0x10", "oct", "010",
                         "word", "abc", "tail", "2.5xyz", "huge", "1e39", "neg", "-1e300",
                         "k", "last", "dangling", nullptr};
  Node n("x", attrs);
  EXPECT_EQ(n.getAttribute("k", "d"), "last");
  EXPECT_EQ(n.getAttribute("dangling"), nullptr);
  EXPECT_TRUE(n.getAttributeBool("t", false));
  EXPECT_FALSE(n.getAttributeBool("T", true));
  EXPECT_FALSE(n.getAttributeBool("empty", true));
  EXPECT_TRUE(n.getAttributeBool("absent", true));
  EXPECT_EQ(n.getAttributeLong("hex", -1), 16);
  EXPECT_EQ(n.getAttributeLong("oct", -1), 8);
  EXPECT_EQ(n.getAttributeLong("word", -1), 0);  // present without digits: 0, not the default
  EXPECT_EQ(n.getAttributeLong("absent", -1), -1);
  EXPECT_FLOAT_EQ(n.getAttributeFloat("tail", -1), 2.5f);
  EXPECT_FLOAT_EQ(n.getAttributeFloat("empty", -1), 0.0f);
  EXPECT_FLOAT_EQ(n.getAttributeFloat("absent", -1), -1.0f);
  // Out of the float range: infinity of the right sign, never undefined.
  EXPECT_EQ(n.getAttributeFloat("huge", 0), HUGE_VALF);
  EXPECT_EQ(n.getAttributeFloat("neg", 0), -HUGE_VALF);
  EXPECT_EQ(n.attributes.count("absent"), 0u);
  EXPECT_EQ(n["new"], "");
  EXPECT_NE(n.getAttribute("new"), nullptr);
}

// ---------------------------------------------------------------------------
// The tree

TEST(XmlTree, AppendMovesDetachKeepsAndDeleteUnlinks) {
  std::unique_ptr<Node> a(element("a"));
  std::unique_ptr<Node> b(element("b"));
  Node* c = element("c");
  *a += c;
  *b += c;  // moves
  EXPECT_TRUE(a->children.empty());
  ASSERT_EQ(b->children.size(), 1u);
  EXPECT_EQ(c->parent, b.get());

  // Detaching from a node that is not the parent leaves the link alone.
  *a -= c;
  EXPECT_EQ(c->parent, b.get());
  EXPECT_EQ(b->children.size(), 1u);

  *b -= c;
  EXPECT_EQ(c->parent, nullptr);
  EXPECT_TRUE(b->children.empty());
  *a += c;
  Node* d = element("d");
  *c += d;
  delete d;
  EXPECT_TRUE(c->children.empty());
  delete c;
  EXPECT_TRUE(a->children.empty());
}

TEST(XmlTree, VeryDeepTreesAreDestroyedAndRead) {
  // Far deeper than the stack would allow if nodes were freed recursively.
  Node* root = element("r");
  Node* tip = root;
  for (int i = 0; i < 300000; ++i) {
    Node* n = element("n");
    *tip += n;
    tip = n;
  }
  delete root;

  std::string dir = makeTempDir();
  const int depth = 100000;
  std::string text;
  for (int i = 0; i < depth; ++i) text += "<a>";
  for (int i = 0; i < depth; ++i) text += "</a>";
  writeFile(dir + "/deep.xml", text);
  std::unique_ptr<Node> loaded = load(dir + "/deep.xml");
  int levels = 1;
  for (Node* n = loaded.get(); !n->children.empty(); n = n->children.front()) ++levels;
  EXPECT_EQ(levels, depth);
}

// ---------------------------------------------------------------------------
// Reading

TEST(XmlRead, ErrorsAreTheExactMessagesAndCloseTheFile) {
  std::string dir = makeTempDir();
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", "no element found"},
      {"<a><b></a>", "mismatched tag"},
      {"<a x=\"1\" <", "not well-formed (invalid token)"},
      {"<a/><b/>", "junk after document element"},
      {"<a><b x=\"1\"", "unclosed token"},
      {"<a><b x=\"1\"/>", "no element found"},
      {"<a v=\"&foo;\"/>", "undefined entity"},
      {"<a v=\"\xff\"/>", "not well-formed (invalid token)"},
  };
  const int before = openFileCount();
  for (size_t i = 0; i < cases.size(); ++i) {
    std::string path = dir + "/bad" + std::to_string(i) + ".xml";
    writeFile(path, cases[i].first);
    EXPECT_EQ(loadError(path), cases[i].second) << cases[i].first;
  }
  ASSERT_EQ(symlink((dir + "/loop").c_str(), (dir + "/loop").c_str()), 0);
  EXPECT_EQ(loadError(dir + "/missing.xml"), "(did not open) Could not open XML file");
  EXPECT_EQ(loadError(dir + "/loop"), "(did not open) Could not open XML file: Too many levels of symbolic links");
  // Nothing but a regular file is opened, and nothing waits: a FIFO with no
  // writer would hold the reader for ever, also behind a link.
  ASSERT_EQ(mkfifo((dir + "/fifo").c_str(), 0644), 0);
  ASSERT_EQ(symlink((dir + "/fifo").c_str(), (dir + "/tofifo").c_str()), 0);
  for (const std::string& name : {dir, dir + "/fifo", dir + "/tofifo", std::string("/dev/null")})
    EXPECT_EQ(loadError(name), "(did not open) Could not open XML file: it is not a regular file");
  EXPECT_EQ(openFileCount(), before);
}

TEST(XmlRead, ChunkBoundariesAndTheEmptyFinalChunk) {
  std::string dir = makeTempDir();
  const size_t chunk = korvu::xml::XMLReader::CHUNK;
  for (size_t size : {size_t(100), chunk - 1, chunk, chunk + 1, 2 * chunk + 500}) {
    // An element whose attribute fills the file to exactly `size` bytes.
    const std::string head = "<r v=\"";
    const std::string tail = "\"/>";
    std::string text = head + std::string(size - head.size() - tail.size(), 'x') + tail;
    ASSERT_EQ(text.size(), size);
    writeFile(dir + "/ok.xml", text);
    std::unique_ptr<Node> root = load(dir + "/ok.xml");
    ASSERT_TRUE(root);
    EXPECT_EQ(root->getAttribute("v", "").size(), size - head.size() - tail.size());

    // The same size, but the end tag is missing: only the final chunk tells
    // the parser that nothing more is coming.
    std::string open = "<r>" + std::string(size - 3, ' ');
    writeFile(dir + "/open.xml", open);
    EXPECT_EQ(loadError(dir + "/open.xml"), "no element found") << size;
  }
}

// The parser scans an unfinished token again for each chunk: in chunks of
// 512 bytes a 4 MB name took some 20 s.
TEST(XmlRead, LongTokensReadInLinearTimeAndLimitsRefuseLargeFiles) {
  const std::string path = makeTempDir() + "/long.xml";
  const std::string text = "<r v=\"" + std::string(4u << 20, 'n') + "\"/>";
  writeFile(path, text);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(load(path)->getAttribute("v", "").size(), 4u << 20);
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 3.0);

  EXPECT_TRUE(std::unique_ptr<Node>(korvu::xml::loadXML(path.c_str(), text.size())));
  EXPECT_THROW(korvu::xml::loadXML(path.c_str(), text.size() - 1), std::string);
  // A small file whose entities expand beyond the limit is refused too:
  // read, it would give a tree no save could write back within it.
  std::string expanding = "<!DOCTYPE r [<!ENTITY a \"" + std::string(60000, 'x') + "\">]><r v=\"";
  for (int i = 0; i < 80; ++i) expanding += "&a;";
  writeFile(path, expanding + "\"/>");
  try {
    delete korvu::xml::loadXML(path.c_str(), 1u << 20);
    ADD_FAILURE() << "an expansion beyond the limit was read";
  } catch (const std::string& message) {
    EXPECT_EQ(message, "Its entities expand it to more than 1048576 bytes");
  }

  // The depth limit counts the root: three levels read with a limit of 3.
  writeFile(path, "<a><b><c/></b><b/></a>");
  EXPECT_TRUE(std::unique_ptr<Node>(korvu::xml::loadXML(path.c_str(), 0, 3)));
  try {
    delete korvu::xml::loadXML(path.c_str(), 0, 2);
    ADD_FAILURE() << "a tree deeper than the limit was read";
  } catch (const std::string& message) {
    EXPECT_EQ(message, "Its elements nest deeper than 2 levels");
  }
}

// ---------------------------------------------------------------------------
// Encoding of what is written into files

TEST(XmlEncoding, NonAsciiValuesSurviveSaveAndReload) {
  std::string dir = makeTempDir();
  std::string all;  // every character from U+0001 to U+02FF, then a few far ones
  for (uint32_t cp = 1; cp < 0x300; ++cp) {
    if (cp < 0x80) {
      all += static_cast<char>(cp);
    } else if (cp < 0x800) {
      all += static_cast<char>(0xC0 | (cp >> 6));
      all += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  all += "\xe2\x82\xac\xef\xbf\xbd\xf0\x9d\x84\x9e\xf4\x8f\xbf\xbd";  // U+20AC U+FFFD U+1D11E U+10FFFD

  std::unique_ptr<Node> root(element("r"));
  (*root)["plain"] = "\xc3\xa9t\xc3\xa9 \xe2\x82\xac \xf0\x9d\x84\x9e";
  (*root)["all"] = all;
  root->saveXML((dir + "/u.xml").c_str());
  const std::string file = readFile(dir + "/u.xml");
  EXPECT_NE(file.find("plain=\"\xe9t\xe9 &#8364; &#119070;\""), std::string::npos) << file;

  std::unique_ptr<Node> back = load(dir + "/u.xml");
  EXPECT_EQ(back->getAttribute("plain", ""), (*root)["plain"]);
  // Control characters other than tab, line feed and carriage return cannot
  // be held by any XML document; they come back as U+FFFD.
  std::string expected;
  for (uint32_t cp = 1; cp < 0x20; ++cp) {
    if (cp == 9 || cp == 10 || cp == 13) {
      expected += static_cast<char>(cp);
    } else {
      expected += "\xef\xbf\xbd";
    }
  }
  expected += all.substr(0x1F);
  EXPECT_EQ(back->getAttribute("all", ""), expected);
}

TEST(XmlEncoding, InvalidUtf8StaysWellFormed) {
  std::string dir = makeTempDir();
  std::unique_ptr<Node> root(element("r"));
  (*root)["v"] = "a\xff\xc3z\xed\xa0\x80\xc0\xaf\xef\xbf\xbe";  // stray bytes, surrogate, overlong, U+FFFE
  root->saveXML((dir + "/b.xml").c_str());
  EXPECT_NE(readFile(dir + "/b.xml").find("v=\"a&#255;&#195;z&#237;&#160;&#128;&#192;&#175;&#65533;\""),
            std::string::npos);
  std::unique_ptr<Node> back = load(dir + "/b.xml");
  EXPECT_EQ(back->getAttribute("v", ""),
            "a\xc3\xbf\xc3\x83z\xc3\xad\xc2\xa0\xc2\x80\xc3\x80\xc2\xaf\xef\xbf\xbd");
}

TEST(XmlEncoding, NamesMustFitTheDeclaredEncoding) {
  std::string dir = makeTempDir();
  std::unique_ptr<Node> root(element("caf\xc3\xa9"));
  (*root)["\xc3\xa9t\xc3\xa9"] = "1";
  root->saveXML((dir + "/n.xml").c_str());
  std::unique_ptr<Node> back = load(dir + "/n.xml");
  EXPECT_EQ(back->name, "caf\xc3\xa9");
  EXPECT_EQ(back->getAttribute("\xc3\xa9t\xc3\xa9", ""), "1");

  // A name beyond U+00FF or with a delimiter would give a file that cannot
  // be read again: the save fails instead and leaves the old file.
  for (const char* bad : {"\xe2\x82\xac", "a b", "", "x\"y"}) {
    std::unique_ptr<Node> r(element("r"));
    *r += element(bad);
    try {
      r->saveXML((dir + "/n.xml").c_str());
      ADD_FAILURE() << "saved a file with the name \"" << bad << "\"";
    } catch (const std::string& message) {
      EXPECT_EQ(message.rfind("Could not write XML file \"" + dir + "/n.xml\"", 0), 0u) << message;
    }
  }
  EXPECT_EQ(load(dir + "/n.xml")->name, "caf\xc3\xa9");
}

// ---------------------------------------------------------------------------
// Saving replaces the file as a whole or not at all

TEST(XmlSave, FailuresAreThrownAndLeaveTheTargetAlone) {
  std::string dir = makeTempDir();
  const std::string target = dir + "/keep.xml";
  writeFile(target, "old contents");
  std::unique_ptr<Node> root(element("new"));
  const std::string prefix = "Could not write XML file \"" + target + "\": ";

  // The temporary cannot be made under any name it tries (a folder takes
  // each): the message names the temporary, not the target.
  {
    korvu_test::FileSystemShim shim;
    shim.predictableNames = true;
    const std::string temporary = korvu_test::temporaryOf(target);
    ASSERT_EQ(mkdir(temporary.c_str(), 0755), 0);
    try {
      root->saveXML(target.c_str());
      ADD_FAILURE() << "no failure reported";
    } catch (const korvu::xml::WriteError& failure) {
      EXPECT_EQ(failure, prefix + "could not create \"" + temporary + "\": File exists");
      EXPECT_EQ(failure.reason, "could not create \"" + temporary + "\": File exists");
    }
    EXPECT_EQ(readFile(target), "old contents");
    rmdir(temporary.c_str());
  }

  // The rename fails (a non-empty directory is the target): nothing is left behind.
  const std::string dirTarget = dir + "/sub";
  ASSERT_EQ(mkdir(dirTarget.c_str(), 0755), 0);
  writeFile(dirTarget + "/inside", "x");
  EXPECT_THROW(root->saveXML(dirTarget.c_str()), std::string);
  EXPECT_EQ(readFile(dirTarget + "/inside"), "x");

  // The write fails (the disk is full, or a file size limit): the message
  // names the temporary, and the temporary goes.
  const korvu_test::ChildResult full = korvu_test::runInChild([&] {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{8, RLIM_INFINITY};
    setrlimit(RLIMIT_FSIZE, &limit);
    std::string reason;
    try {
      root->saveXML(target.c_str());
    } catch (const korvu::xml::WriteError& failure) {
      reason = failure.reason;
    }
    limit.rlim_cur = RLIM_INFINITY;
    setrlimit(RLIMIT_FSIZE, &limit);
    std::printf("%s\n", reason.c_str());
  });
  EXPECT_EQ(full.out.rfind("could not write \"" + target + ".", 0), 0u) << full.out;
  EXPECT_NE(full.out.find(".tmp\": File too large"), std::string::npos) << full.out;
  EXPECT_EQ(readFile(target), "old contents");

  // No such directory.
  EXPECT_THROW(root->saveXML((dir + "/none/x.xml").c_str()), std::string);
  EXPECT_THROW(root->saveXML(""), std::string);

  std::vector<std::string> names = listDir(dir);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"keep.xml", "sub"}));

  // A save is on disk once it returns: the temporary is synced before the
  // rename, the folder after it.
  korvu_test::FileSystemShim shim;
  root->saveXML(target.c_str());
  EXPECT_EQ(shim.steps, "frd");
  EXPECT_EQ(readFile(target), DECL + "<new/>\n");
  EXPECT_EQ(listDir(dir).size(), 2u);
}
