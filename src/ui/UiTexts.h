// The tray application's own texts, UTF-8, exactly as its users read them.
#pragma once

namespace vp {

inline constexpr const char* kVersionText = "Ver. 2017.02.05";
// The maker's address, shown at the window's bottom right and opened by a click on it.
inline constexpr const char* kWebAddress = "www.vormetra.hr";

inline constexpr const char* kTipActive = "Aktivan";
inline constexpr const char* kTipInactive = "Nije aktivan";

// Resources of the program file.
inline constexpr const char* kIconActive = "X_ICO_ACTIVE";
inline constexpr const char* kIconInactive = "X_ICO_INACTIVE";

inline constexpr const char* kMsgEntryAdded = "Unos dodan";
inline constexpr const char* kMsgEntryRemoved = "Unos uklonjen";
inline constexpr const char* kMsgFailed = "Desila se greška";
inline constexpr const char* kMsgAddressesFetched = "IP adrese dobavljene";
inline constexpr const char* kMsgCertificateInstalled = "Certifikat instaliran.";
inline constexpr const char* kMsgCertificateNotInstalled = "Certifikat nije instaliran.";
inline constexpr const char* kMsgCertificateFileMissing =
    "Certifikat mora biti u fajlu fakeFinaCA.crt";

inline constexpr const char* kAskRemoveHostsEntries =
    "Izabrani metod zahtijeva uklanjanje stavki iz hosts. To možete uraditi sada ili iz menija "
    "Hosts file.\r\n\r\nŽelite li uraditi sada?";
inline constexpr const char* kAskAddHostsEntry =
    "Izabrani metod zahtijeva unos u hosts. To možete uraditi sada ili iz menija Hosts "
    "file.\r\n\r\nŽelite li uraditi sada?";
inline constexpr const char* kAskCertificateForMode =
    "Izabrani metod vjerovatno zahtijeva instaliranje root certifikata. To možete uraditi sada ili "
    "iz menija Certifikati.\r\n\r\nŽelite li uraditi sada?";
inline constexpr const char* kAskMakeCertificates =
    "Za izabrani metod uz program nedostaju fajlovi certifikata (fakeFinaCA.crt, "
    "fakeFinaTest.crt, fakeFinaTest.key, fakeFina.crt, fakeFina.key). Program ih može napraviti "
    "sada, s novim root certifikatom samo za ovo računalo.\r\n\r\nŽelite li ih napraviti?";
inline constexpr const char* kAskInstallCertificate =
    "Program će instalirati certifikaz iz fajla fakeFinaCA.crt kao Root certifikat. Informišite "
    "se prethodno šta znači instaliranje Root certifikata. Certifikat koji se distribuira uz "
    "program ima svako ko skine program te teoretski omogućava i zloupotrebu odnosno može "
    "predstavljati sigurnosni problem. Uz program se nalazi fajl certs.bat sa komandama kojima su "
    "kreirani certifikati koji se distribuiraju uz program. Isti se može koristiti za kreiranje "
    "novih certifikata (potrebno je imati dostupan OpenSSL)\r\n\r\nŽelite li nastaviti";

// The store the root certificate goes into.
inline constexpr const char* kRootStoreName = "Root";

}  // namespace vp
