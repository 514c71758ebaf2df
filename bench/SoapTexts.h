// The fixed documents of the forwarding benchmark: a fiscalisation request of about 3 KB, as a
// point-of-sale program posts it, and the tax authority's answer of about 2 KB, as the local
// upstream returns it. ASCII only, so every hop must hand them on byte for byte.
#pragma once

#include <string>

namespace vp::bench {

inline constexpr const char* kBenchPath = "/FiskalizacijaServiceTest";
inline constexpr const char* kBenchHost = "cistest.apis-it.hr";

// Repeats a line of stock items until the document reaches about target_bytes.
inline std::string PaddedDocument(const std::string& head, const std::string& line,
                                  const std::string& tail, std::size_t target_bytes) {
  std::string text = head;
  for (int i = 1; text.size() + line.size() + tail.size() < target_bytes; ++i)
    text += line + "<!-- " + std::to_string(i) + " -->\n";
  return text + tail;
}

inline const std::string& RequestBody() {
  static const std::string body = PaddedDocument(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<soapenv:Envelope xmlns:soapenv=\"http://schemas.xmlsoap.org/soap/envelope/\">\n"
      "<soapenv:Body>\n"
      "<tns:RacunZahtjev xmlns:tns=\"http://www.apis-it.hr/fin/2012/types/f73\" Id=\"R1\">\n"
      "<tns:Zaglavlje><tns:IdPoruke>1e6d4c2a-0f5b-4c8e-9a31-7d2b5e8f9c10</tns:IdPoruke>"
      "<tns:DatumVrijeme>01.02.2024T10:11:12</tns:DatumVrijeme></tns:Zaglavlje>\n"
      "<tns:Racun><tns:Oib>12345678901</tns:Oib><tns:USustPdv>true</tns:USustPdv>\n",
      "<tns:Porez><tns:Stopa>25.00</tns:Stopa><tns:Osnovica>100.00</tns:Osnovica>"
      "<tns:Iznos>25.00</tns:Iznos></tns:Porez>\n",
      "<tns:IznosUkupno>125.00</tns:IznosUkupno><tns:NacinPlac>G</tns:NacinPlac>"
      "<tns:ZastKod>e4d909c290d0fb1ca068ffaddf22cbd0</tns:ZastKod></tns:Racun>\n"
      "</tns:RacunZahtjev>\n</soapenv:Body>\n</soapenv:Envelope>\n",
      3 * 1024);
  return body;
}

inline const std::string& AnswerBody() {
  static const std::string body = PaddedDocument(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\">\n"
      "<soap:Body>\n"
      "<tns:RacunOdgovor xmlns:tns=\"http://www.apis-it.hr/fin/2012/types/f73\" Id=\"O1\">\n"
      "<tns:Zaglavlje><tns:IdPoruke>1e6d4c2a-0f5b-4c8e-9a31-7d2b5e8f9c10</tns:IdPoruke>"
      "<tns:DatumVrijeme>01.02.2024T10:11:12</tns:DatumVrijeme></tns:Zaglavlje>\n",
      "<tns:Napomena>Racun je zaprimljen i evidentiran.</tns:Napomena>\n",
      "<tns:Jir>a1b2c3d4-e5f6-4a7b-8c9d-0e1f2a3b4c5d</tns:Jir>\n"
      "</tns:RacunOdgovor>\n</soap:Body>\n</soap:Envelope>\n",
      2 * 1024);
  return body;
}

}  // namespace vp::bench
