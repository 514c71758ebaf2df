// A stand-in for the TLS library that exports one of its functions and lacks all the others, so a
// test can show that a library with missing functions is refused as a whole.
extern "C" int OPENSSL_init_ssl(unsigned long long, const void*) { return 1; }
