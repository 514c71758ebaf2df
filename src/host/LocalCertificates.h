// This machine's own certificate set in the program's file folder (AppFileFolder: beside the
// program, or under the data folder where a package installed it): the root that the listener's
// HTTPS modes chain to and the two server certificates with their keys, made by the program itself,
// so that a shop needs no OpenSSL command-line tool and shares no root with any other shop.
#pragma once

#include <string>

namespace vp {

// The switch of the task that makes the set, elevated when the program's folder needs it.
inline constexpr const char* kSwitchCerts = "certs";

// Written by the task to the console it was started from, followed by the folder.
inline constexpr const char* kMsgCertificatesMade = "Certifikati su napravljeni u mapi ";
// The task's error, followed by a line with the reason.
inline constexpr const char* kMsgCertificatesNotMade = "Certifikati nisu napravljeni.";

// The switch of the task that takes this program's root (its fakeFinaCA.crt) out of the current
// user's "Root" store, as an uninstaller does; ours, beside the window's "Instaliraj CA".
inline constexpr const char* kSwitchRootRemove = "rootremove";
inline constexpr const char* kMsgRootNotRemoved = "Root certifikat programa nije uklonjen.";

// Whether all five files lie in the program's file folder.
bool CertificateFilesPresent();

// Makes a new root and, signed by it, the test and the production host's certificate and key, and
// writes the five files into folder: the root as DER, the rest as PEM. The root's private key is
// never written anywhere. Everything is made before the first file is written, so a failure to
// make leaves the old set whole. Raises ErrorKind::kSsl (making) or kFileCreate (writing).
void WriteCertificateFiles(const std::string& folder, const std::string& test_host,
                           const std::string& production_host);

// The task: a new set in the program's file folder for the host names of URLTest and URLProduction
// as the settings file has them now. Without the rights to create files in that folder it asks,
// relaunches the program elevated with "/certs" and returns when that copy has ended. Answers
// whether a new set lies there now, made here or by that copy. Errors of this process
// carry kMsgCertificatesNotMade with the reason on the next line.
bool MakeCertificateFiles();

// The task: without a root file in the program's file folder there is nothing of ours to remove.
// Raises kMsgRootNotRemoved (ErrorKind::kSystem) when the store refuses.
void RemoveRootFromStore();

}  // namespace vp
