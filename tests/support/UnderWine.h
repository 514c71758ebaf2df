// Whether this test program is a Windows build running under Wine rather than on Windows itself,
// for the few places where Wine's sockets behave otherwise and nothing in the program can change
// it.
#pragma once

namespace vp::test {

bool UnderWine();

}  // namespace vp::test
