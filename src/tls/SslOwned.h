// One owner for every object the TLS library hands out: freed through the library's own table,
// which the owner keeps loaded for as long as it holds anything.
#pragma once

#include <memory>
#include <utility>

#include "tls/SslLibrary.h"

namespace vp {

// How the table frees each kind of object. A stack of certificates owns them, as one from
// PKCS12_parse does.
template <typename T>
struct SslFree;

#define VP_SSL_FREE(type, function)                                                          \
  template <>                                                                                \
  struct SslFree<openssl::type> {                                                            \
    static void Free(const SslFunctions& fn, openssl::type* object) { fn.function(object); } \
  };
VP_SSL_FREE(SSL, SSL_free)
VP_SSL_FREE(SSL_CTX, SSL_CTX_free)
VP_SSL_FREE(BIO, BIO_free)
VP_SSL_FREE(X509, X509_free)
VP_SSL_FREE(X509_STORE, X509_STORE_free)
VP_SSL_FREE(X509_STORE_CTX, X509_STORE_CTX_free)
VP_SSL_FREE(EVP_PKEY, EVP_PKEY_free)
VP_SSL_FREE(PKCS12, PKCS12_free)
VP_SSL_FREE(EVP_PKEY_CTX, EVP_PKEY_CTX_free)
VP_SSL_FREE(X509_EXTENSION, X509_EXTENSION_free)
VP_SSL_FREE(OSSL_LIB_CTX, OSSL_LIB_CTX_free)
VP_SSL_FREE(OSSL_PROVIDER, OSSL_PROVIDER_unload)
VP_SSL_FREE(SSL_SESSION, SSL_SESSION_free)
#undef VP_SSL_FREE

template <>
struct SslFree<openssl::X509_STACK> {
  static void Free(const SslFunctions& fn, openssl::X509_STACK* stack) {
    for (int i = fn.OPENSSL_sk_num(stack); i > 0; --i)
      fn.X509_free(static_cast<openssl::X509*>(fn.OPENSSL_sk_value(stack, i - 1)));
    fn.OPENSSL_sk_free(stack);
  }
};

// Move-only; an empty owner (null object) frees nothing.
template <typename T>
class SslOwned {
 public:
  SslOwned() = default;
  SslOwned(std::shared_ptr<const SslLibrary> library, T* object)
      : library_(std::move(library)), object_(object) {}
  ~SslOwned() { reset(); }

  SslOwned(SslOwned&& other) noexcept
      : library_(std::move(other.library_)), object_(std::exchange(other.object_, nullptr)) {}
  SslOwned& operator=(SslOwned&& other) noexcept {
    if (this == &other) return *this;
    reset();
    library_ = std::move(other.library_);
    object_ = std::exchange(other.object_, nullptr);
    return *this;
  }
  SslOwned(const SslOwned&) = delete;
  SslOwned& operator=(const SslOwned&) = delete;

  T* get() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }
  const std::shared_ptr<const SslLibrary>& library() const { return library_; }

  // Hands the object to whoever takes it over (the library itself, mostly); frees nothing.
  T* release() { return std::exchange(object_, nullptr); }
  // Frees the object now rather than with the owner.
  void reset() {
    if (T* object = release()) SslFree<T>::Free(library_->fn(), object);
  }

 private:
  std::shared_ptr<const SslLibrary> library_;
  T* object_ = nullptr;
};

}  // namespace vp
