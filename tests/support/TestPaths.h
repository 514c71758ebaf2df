// Where the test programs find their build-time fixtures: beside themselves, so that the same
// binaries work wherever the build folder is seen from (a Windows build run under Wine sees it as
// Z:\...), with no build-machine path compiled in.
#pragma once

#include <string>

namespace vp::test {

// The folder of the running test program, with its trailing delimiter. Unlike the program folder
// that the tests point at a temp dir, this is always the real one.
std::string TestProgramDir();
// A file of the certificate set made at build time (in test-certs/ beside the program).
std::string TestCertFile(const std::string& name);
// The stand-in TLS library that lacks nearly every function.
std::string TestStubLibrary();

}  // namespace vp::test
