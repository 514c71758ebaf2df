// The help text. Lines are kept short enough for the window's width, so the paragraphs read the
// same in the window and on a terminal.
#include "ui/HelpFormU.h"

namespace vp {
namespace {

constexpr std::array<const char*, kHelpLineCount> kHelpLines = {
    "Modovi rada:",
    "",
    "1 - Server sluša na portu 8449 i http protokolu",
    "Program prima zahtjeve blagajne na lokalnoj adresi http://127.0.0.1:8449.",
    "Zahtjev s putanjom /FiskalizacijaServiceTest prosljeđuje se na testni URL",
    "Porezne uprave, https://cistest.apis-it.hr:8449/FiskalizacijaServiceTest,",
    "a zahtjev s putanjom /FiskalizacijaService na produkcijski URL,",
    "https://cis.porezna-uprava.hr:8449/FiskalizacijaService.",
    "Blagajnu treba podesiti tako da zahtjeve šalje na http://127.0.0.1:8449",
    "s jednom od tih dviju putanja. U ovom načinu rada u hosts fileu ne smije",
    "biti stavke koju traže načini rada 2 i 3; program će ponuditi da je ukloni.",
    "Root certifikat u ovom načinu rada nije potreban.",
    "",
    "2 - Server sluša na portu 8449 i https protokolu",
    "U hosts file mora se dodati red koji ime testnog poslužitelja usmjerava",
    "na ovo računalo:",
    "127.0.0.1 cistest.apis-it.hr",
    "Blagajna tada i dalje šalje zahtjeve na svoj uobičajeni testni URL,",
    "https://cistest.apis-it.hr:8449/FiskalizacijaServiceTest, a program ih prima",
    "i prosljeđuje stvarnom poslužitelju Porezne uprave. Blagajnu nije potrebno",
    "prepodešavati, ali na računalu mora biti instaliran root certifikat",
    "programa (vidi niže).",
    "",
    "3 - Server sluša na portu 8449 i https protokolu",
    "Isto kao način rada 2, ali za produkcijski poslužitelj. U hosts file se",
    "dodaje red:",
    "127.0.0.1 cis.porezna-uprava.hr",
    "Zahtjevi upućeni na https://cis.porezna-uprava.hr:8449/FiskalizacijaService",
    "tada se prosljeđuju stvarnom produkcijskom poslužitelju Porezne uprave.",
    "Stavku u hosts fileu program može dodati sam, odmah nakon promjene načina",
    "rada ili kasnije iz izbornika Hosts file. U hosts fileu može biti samo",
    "jedna od tih dviju stavki: dodavanjem jedne uklanja se druga.",
    "",
    "Certifikati servera:",
    "U načinu rada 2 program se blagajni predstavlja certifikatom iz datoteka",
    "fakeFinaTest.crt i fakeFinaTest.key, a u načinu rada 3 certifikatom iz",
    "datoteka fakeFina.crt i fakeFina.key. Sve te datoteke moraju biti u mapi",
    "u kojoj je i sam program.",
    "",
    "IP adrese:",
    "Budući da hosts file ime poslužitelja usmjerava na ovo računalo, u načinima",
    "rada 2 i 3 program zahtjeve šalje na IP adresu poslužitelja Porezne uprave,",
    "a ne po URL-u. Zato u podešavanjima moraju biti upisane IP adrese testnog",
    "i produkcijskog poslužitelja: adresa, dvotočka i port, npr. 195.29.166.133:8449.",
    "Program te adrese može dobaviti sam (gumb \"Dobavi IP adrese sada\"), a može",
    "ih dobavljati i kod svakog pokretanja (\"Dobaviti IP adrese kod pokretanja\").",
    "Dobavljene adrese postaju podešavanja tek kad se potvrde gumbom \"Potvrdi\".",
    "",
    "Root certifikat:",
    "Certifikate iz datoteka fakeFinaTest.crt i fakeFina.crt izdao je root",
    "certifikat iz datoteke fakeFinaCA.crt. Blagajna će prihvatiti program samo",
    "ako je taj root certifikat instaliran na računalu. Program ga može instalirati",
    "sam: izbornik Certifikati, stavka Instaliraj CA. Windows će pritom zatražiti",
    "potvrdu dodavanja root certifikata.",
    "",
    "Sigurnost:",
    "Certifikate koji se distribuiraju uz program ima svatko tko preuzme program,",
    "pa se u teoriji mogu i zloupotrijebiti; njihova upotreba zato može biti",
    "sigurnosni problem. Preporučuje se izrada vlastitih, novih certifikata.",
    "Uz program se nalazi datoteka certs.bat s naredbama kojima su izrađeni",
    "priloženi certifikati. Njome se mogu izraditi i novi certifikati, za što je",
    "potreban OpenSSL (program openssl.exe dostupan na putanji PATH).",
    "Nakon izrade novih certifikata ponovno instalirajte root certifikat iz",
    "izbornika Certifikati i ponovno pokrenite server.",
};

}  // namespace

const std::array<const char*, kHelpLineCount>& HelpLines() { return kHelpLines; }

std::string HelpText() {
  std::string text;
  for (std::size_t i = 0; i < kHelpLines.size(); ++i) {
    if (i > 0) text += '\n';
    text += kHelpLines[i];
  }
  return text;
}

THelpForm::THelpForm(platform::MainWindow& main_window)
    : window_(main_window.CreateHelpWindow(HelpText())) {}

void THelpForm::Show() { window_->Show(); }

}  // namespace vp
