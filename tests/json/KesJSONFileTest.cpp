// JSON documents in files: line breaks, replacing a file safely, and the error texts.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/Error.h"
#include "json/KesJSON.h"
#include "platform/FileSystem.h"
#include "support/TempDir.h"

namespace vp {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

// Names in a folder, so a test can see that no temporary file was left behind.
std::vector<std::string> NamesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// The message is the fixed text, the path, and the system's text of the failure.
void ExpectFileError(const Error& e, ErrorKind kind, const std::string& prefix,
                     const std::string& path) {
  EXPECT_EQ(e.kind(), kind);
  std::string expected = prefix + " \"" + path + "\". ";
  std::string message = e.what();
  ASSERT_GT(message.size(), expected.size()) << message;
  EXPECT_EQ(message.substr(0, expected.size()), expected);
  EXPECT_NE(message.back(), '\n');
}

TEST(KesJSONFile, SaveWritesCrLfLinesAndReloadIsStable) {
  TempDir dir;
  std::string path = dir.File("doc.json");
  TKesJSONObject root;
  ASSERT_EQ(root.Parse(R"({"a":1,"b":[true,"x"],"c":{}})"), 0);
  root.SaveToFile(path, true);
  std::string bytes = ReadFile(path);
  EXPECT_EQ(bytes,
            "{\r\n  \"a\":1,\r\n  \"b\":\r\n  [\r\n    true,\r\n    \"x\"\r\n  ],\r\n"
            "  \"c\":\r\n  {\r\n\r\n  }\r\n}\r\n");

  TKesJSONObject loaded;
  loaded.LoadFromFile(path);
  EXPECT_EQ(loaded.ParseResult, 0);
  loaded.SaveToFile(path, true);
  EXPECT_EQ(ReadFile(path), bytes);
  EXPECT_EQ(NamesIn(dir.path()), std::vector<std::string>{"doc.json"});

  root.SaveToFile(path, false);
  EXPECT_EQ(ReadFile(path), "{\"a\":1,\"b\":[true,\"x\"],\"c\":{}}\r\n");
}

TEST(KesJSONFile, LoadNormalisesLineBreaksAndStopsAtNul) {
  TempDir dir;
  std::string path = dir.File("doc.json");
  WriteFile(path, std::string("{\"a\":\"x\ry\nz\r\nw\"}\0{\"b\":1}", 24));
  TKesJSONObject root;
  root.LoadFromFile(path);
  EXPECT_EQ(root.ParseResult, 0);
  EXPECT_EQ(root.GetString("a", ""), "x\r\ny\r\nz\r\nw");
  EXPECT_FALSE(root.Has("b"));

  WriteFile(path, "");
  TKesJSONObject empty;
  empty.LoadFromFile(path);
  EXPECT_EQ(empty.ParseResult, 1);
}

TEST(KesJSONFile, LoadFailsWithTheOpenErrorText) {
  TempDir dir;
  for (const std::string& path : {dir.File("missing.json"), dir.path() + "sub"}) {
    std::filesystem::create_directory(dir.path() + "sub");
    TKesJSONObject root;
    root.SetInteger("kept", 1);
    try {
      root.LoadFromFile(path);
      FAIL() << "no error for " << path;
    } catch (const Error& e) {
      ExpectFileError(e, ErrorKind::kFileOpen, "Cannot open file", path);
    }
    EXPECT_EQ(root.Count(), 1);
  }
}

TEST(KesJSONFile, SaveFailsWithTheCreateErrorTextAndLeavesNothingBehind) {
  TempDir dir;
  std::string in_place_of_file = dir.path() + "sub";
  std::filesystem::create_directory(in_place_of_file);
  WriteFile(in_place_of_file + "/inside", "x");  // a non-empty folder cannot be renamed over
  std::string in_missing_folder = dir.path() + "none/doc.json";
  TKesJSONObject root;
  for (const std::string& path : {in_place_of_file, in_missing_folder}) {
    try {
      root.SaveToFile(path, true);
      FAIL() << "no error for " << path;
    } catch (const Error& e) {
      ExpectFileError(e, ErrorKind::kFileCreate, "Cannot create file", path);
    }
  }
  EXPECT_EQ(NamesIn(dir.path()), std::vector<std::string>{"sub"});
  EXPECT_EQ(NamesIn(in_place_of_file), std::vector<std::string>{"inside"});
}

TEST(KesJSONFile, FailedSaveKeepsTheOldFileWhole) {
  TempDir dir;
  std::string path = dir.File("doc.json");
  WriteFile(path, "{\"old\":1}\r\n");
  TKesJSONObject root;
  root.SetString("new", std::string(1000, 'x'));
  platform::SetReplaceFailureForTesting(100);  // the disk fills up after 100 bytes
  try {
    root.SaveToFile(path, true);
    FAIL() << "no error";
  } catch (const Error& e) {
    ExpectFileError(e, ErrorKind::kFileCreate, "Cannot create file", path);
  }
  EXPECT_EQ(ReadFile(path), "{\"old\":1}\r\n");
  EXPECT_EQ(NamesIn(dir.path()), std::vector<std::string>{"doc.json"});

  root.SaveToFile(path, false);  // the failure was for one save only
  EXPECT_EQ(ReadFile(path), "{\"new\":\"" + std::string(1000, 'x') + "\"}\r\n");
}

TEST(KesJsonFile, LoadsAtCreationWhenTheFileExists) {
  TempDir dir;
  TKesJsonFile missing(dir.File("missing.json"));
  EXPECT_EQ(missing.Count(), 0);
  EXPECT_EQ(missing.ParseResult, 0);
  EXPECT_EQ(missing.FileName, dir.File("missing.json"));

  TKesJsonFile folder(dir.path() + ".");
  EXPECT_EQ(folder.Count(), 0) << "a directory is not a file to load";

  WriteFile(dir.File("broken.json"), "{\"a\":1,\"b\" :2}");
  TKesJsonFile broken(dir.File("broken.json"));
  EXPECT_EQ(broken.ParseResult, 12);
  EXPECT_EQ(broken.GetInteger("a", 0), 1);

  WriteFile(dir.File("escape.json"), "{\"a\":\"\\uZZZZ\"}");
  try {
    TKesJsonFile bad(dir.File("escape.json"));
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "'$ZZZZ' is not a valid integer value");
  }

  TKesJsonFile doc(dir.File("doc.json"));
  doc.SetBoolean("x", true);
  doc.Save(true);
  EXPECT_EQ(ReadFile(dir.File("doc.json")), "{\r\n  \"x\":true\r\n}\r\n");
}

}  // namespace
}  // namespace vp
