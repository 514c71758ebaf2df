// Copies files of the build-time certificate set beside the program for the length of one test.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

namespace vp::test {

class FilesBesideProgram {
 public:
  explicit FilesBesideProgram(std::initializer_list<const char*> names);
  ~FilesBesideProgram();
  FilesBesideProgram(const FilesBesideProgram&) = delete;
  FilesBesideProgram& operator=(const FilesBesideProgram&) = delete;

 private:
  std::vector<std::string> copied_;
};

}  // namespace vp::test
