#include "tools/netsim/netsim_languages.h"

#include <iterator>

namespace netsim {
namespace {

// What the tools print in each display language, with the sources each
// text was taken from. netsh's answers to an IPv6 route change are the
// system's own texts for "object exists" and "element not found" in that
// language, not taken from published netsh output; netsteer does not read them. Non-ASCII
// characters are written as escapes so that every compiler reads the same text.

// English: the layout of many published outputs (Windows 7 to 11).
const Language kEn = {
    L"en",
    0,
    L"Interface List",
    L"IPv4 Route Table",
    L"Active Routes:",
    L"Network Destination        Netmask          Gateway       Interface  Metric",
    L"Persistent Routes:",
    L"  Network Address          Netmask  Gateway Address  Metric",
    L"  None",
    L"On-link",
    L"Default ",
    L"Idx     Met         MTU          State                Name",
    L" OK!",
    {
        L"The route addition failed: The object already exists.",
        L"The route addition failed: The parameter is incorrect.",
        L"The route addition failed: The specified mask parameter is invalid. (Destination & Mask) "
        L"!= Destination.",
        L"The route addition failed: Either the interface index is wrong or the gateway does not "
        L"lie on the same network as the interface. Check the IP Address Table for the machine.",
        L"The route deletion failed: Element not found.",
        L"The route deletion failed: The parameter is incorrect.",
        L"The route change failed: Element not found.",
        L"The requested operation requires elevation.",
    },
    L"Ok.",
    L"The object already exists.",
    L"Element not found.",
};

// German: route print from a Windows 7 and 10 output quoted in a public
// source file; "Standard" and the persistent heading from one published issue.
// The route tool's own failure prefix was not found published: the messages
// are the system's German error texts ("Das Objekt ist bereits vorhanden.")
// after a prefix of ours. netsh's German heading was not found either, so it
// stays as the English one.
const Language kDe = {
    L"de",
    850,
    L"Schnittstellenliste",
    L"IPv4-Routentabelle",
    L"Aktive Routen:",
    L"     Netzwerkziel    Netzwerkmaske          Gateway    Schnittstelle Metrik",
    L"St\u00E4ndige Routen:",
    L"  Netzwerkadresse          Netzmaske  Gatewayadresse  Metrik",
    L"  Keine",
    L"Auf Verbindung",
    L"Standard ",
    L"Idx     Met         MTU          State                Name",
    L" OK!",
    {
        L"Fehler beim Hinzuf\u00FCgen der Route: Das Objekt ist bereits vorhanden.",
        L"Fehler beim Hinzuf\u00FCgen der Route: Falscher Parameter.",
        L"Fehler beim Hinzuf\u00FCgen der Route: Der angegebene Maskenparameter ist ung\u00FCltig. "
        L"(Ziel & Maske) != Ziel.",
        L"Fehler beim Hinzuf\u00FCgen der Route: Entweder ist der Schnittstellenindex falsch, oder "
        L"das Gateway befindet sich nicht im selben Netzwerk wie die Schnittstelle. "
        L"\u00DCberpr\u00FCfen Sie die IP-Adresstabelle des Computers.",
        L"Fehler beim L\u00F6schen der Route: Element nicht gefunden.",
        L"Fehler beim L\u00F6schen der Route: Falscher Parameter.",
        L"Fehler beim \u00C4ndern der Route: Element nicht gefunden.",
        L"Der angeforderte Vorgang erfordert erh\u00F6hte Rechte.",
    },
    L"OK.",
    L"Das Objekt ist bereits vorhanden.",
    L"Element nicht gefunden.",
};

// Russian: route print from a Windows 10 lab report and Windows 11 notes
// ("On-link" stays English); netsh's heading from several published outputs
// (the state words stay English). The add refusal's prefix is quoted from a
// real refusal; the delete prefix and the success text were not found
// published, so they follow the add prefix and the English " OK!".
const Language kRu = {
    L"ru",
    866,
    L"\u0421\u043F\u0438\u0441\u043E\u043A "
    L"\u0438\u043D\u0442\u0435\u0440\u0444\u0435\u0439\u0441\u043E\u0432",
    L"IPv4 \u0442\u0430\u0431\u043B\u0438\u0446\u0430 "
    L"\u043C\u0430\u0440\u0448\u0440\u0443\u0442\u0430",
    L"\u0410\u043A\u0442\u0438\u0432\u043D\u044B\u0435 "
    L"\u043C\u0430\u0440\u0448\u0440\u0443\u0442\u044B:",
    L"\u0421\u0435\u0442\u0435\u0432\u043E\u0439 \u0430\u0434\u0440\u0435\u0441           "
    L"\u041C\u0430\u0441\u043A\u0430 \u0441\u0435\u0442\u0438      \u0410\u0434\u0440\u0435\u0441 "
    L"\u0448\u043B\u044E\u0437\u0430       \u0418\u043D\u0442\u0435\u0440\u0444\u0435\u0439\u0441  "
    L"\u041C\u0435\u0442\u0440\u0438\u043A\u0430",
    L"\u041F\u043E\u0441\u0442\u043E\u044F\u043D\u043D\u044B\u0435 "
    L"\u043C\u0430\u0440\u0448\u0440\u0443\u0442\u044B:",
    L"  \u0421\u0435\u0442\u0435\u0432\u043E\u0439 \u0430\u0434\u0440\u0435\u0441            "
    L"\u041C\u0430\u0441\u043A\u0430    \u0410\u0434\u0440\u0435\u0441 "
    L"\u0448\u043B\u044E\u0437\u0430      \u041C\u0435\u0442\u0440\u0438\u043A\u0430",
    L"  \u041E\u0442\u0441\u0443\u0442\u0441\u0442\u0432\u0443\u0435\u0442",
    L"On-link",
    L"\u041F\u043E \u0443\u043C\u043E\u043B\u0447\u0430\u043D\u0438\u044E",
    L"\u0418\u043D\u0434     \u041C\u0435\u0442         MTU          "
    L"\u0421\u043E\u0441\u0442\u043E\u044F\u043D\u0438\u0435               \u0418\u043C\u044F",
    L" OK!",
    {
        L"\u0421\u0431\u043E\u0439 \u0434\u043E\u0431\u0430\u0432\u043B\u0435\u043D\u0438\u044F "
        L"\u043C\u0430\u0440\u0448\u0440\u0443\u0442\u0430: \u041E\u0431\u044A\u0435\u043A\u0442 "
        L"\u0443\u0436\u0435 \u0441\u0443\u0449\u0435\u0441\u0442\u0432\u0443\u0435\u0442.",
        L"\u0421\u0431\u043E\u0439 \u0434\u043E\u0431\u0430\u0432\u043B\u0435\u043D\u0438\u044F "
        L"\u043C\u0430\u0440\u0448\u0440\u0443\u0442\u0430: "
        L"\u041F\u0430\u0440\u0430\u043C\u0435\u0442\u0440 \u0437\u0430\u0434\u0430\u043D "
        L"\u043D\u0435\u0432\u0435\u0440\u043D\u043E.",
        L"\u0421\u0431\u043E\u0439 \u0434\u043E\u0431\u0430\u0432\u043B\u0435\u043D\u0438\u044F "
        L"\u043C\u0430\u0440\u0448\u0440\u0443\u0442\u0430: \u0423\u043A\u0430\u0437\u0430\u043D "
        L"\u043D\u0435\u0432\u0435\u0440\u043D\u044B\u0439 "
        L"\u043F\u0430\u0440\u0430\u043C\u0435\u0442\u0440 \u043C\u0430\u0441\u043A\u0438. "
        L"(Destination & Mask) != Destination.",
        L"\u0421\u0431\u043E\u0439 \u0434\u043E\u0431\u0430\u0432\u043B\u0435\u043D\u0438\u044F "
        L"\u043C\u0430\u0440\u0448\u0440\u0443\u0442\u0430: "
        L"\u041D\u0435\u0432\u0435\u0440\u043D\u044B\u0439 \u0438\u043D\u0434\u0435\u043A\u0441 "
        L"\u0438\u043D\u0442\u0435\u0440\u0444\u0435\u0439\u0441\u0430, \u0438\u043B\u0438 "
        L"\u0448\u043B\u044E\u0437 \u043D\u0430\u0445\u043E\u0434\u0438\u0442\u0441\u044F "
        L"\u043D\u0435 \u0432 \u0442\u043E\u0439 \u0436\u0435 \u0441\u0435\u0442\u0438, "
        L"\u0447\u0442\u043E \u0438 \u0438\u043D\u0442\u0435\u0440\u0444\u0435\u0439\u0441. "
        L"\u041F\u0440\u043E\u0432\u0435\u0440\u044C\u0442\u0435 "
        L"\u0442\u0430\u0431\u043B\u0438\u0446\u0443 IP-\u0430\u0434\u0440\u0435\u0441\u043E\u0432 "
        L"\u043A\u043E\u043C\u043F\u044C\u044E\u0442\u0435\u0440\u0430.",
        L"\u0421\u0431\u043E\u0439 \u0443\u0434\u0430\u043B\u0435\u043D\u0438\u044F "
        L"\u043C\u0430\u0440\u0448\u0440\u0443\u0442\u0430: "
        L"\u042D\u043B\u0435\u043C\u0435\u043D\u0442 \u043D\u0435 "
        L"\u043D\u0430\u0439\u0434\u0435\u043D.",
        L"\u0421\u0431\u043E\u0439 \u0443\u0434\u0430\u043B\u0435\u043D\u0438\u044F "
        L"\u043C\u0430\u0440\u0448\u0440\u0443\u0442\u0430: "
        L"\u041F\u0430\u0440\u0430\u043C\u0435\u0442\u0440 \u0437\u0430\u0434\u0430\u043D "
        L"\u043D\u0435\u0432\u0435\u0440\u043D\u043E.",
        L"\u0421\u0431\u043E\u0439 \u0438\u0437\u043C\u0435\u043D\u0435\u043D\u0438\u044F "
        L"\u043C\u0430\u0440\u0448\u0440\u0443\u0442\u0430: "
        L"\u042D\u043B\u0435\u043C\u0435\u043D\u0442 \u043D\u0435 "
        L"\u043D\u0430\u0439\u0434\u0435\u043D.",
        L"\u0417\u0430\u043F\u0440\u043E\u0448\u0435\u043D\u043D\u0430\u044F "
        L"\u043E\u043F\u0435\u0440\u0430\u0446\u0438\u044F "
        L"\u0442\u0440\u0435\u0431\u0443\u0435\u0442 "
        L"\u043F\u043E\u0432\u044B\u0448\u0435\u043D\u0438\u044F.",
    },
    L"\u041E\u041A.",
    L"\u041E\u0431\u044A\u0435\u043A\u0442 \u0443\u0436\u0435 "
    L"\u0441\u0443\u0449\u0435\u0441\u0442\u0432\u0443\u0435\u0442.",
    L"\u042D\u043B\u0435\u043C\u0435\u043D\u0442 \u043D\u0435 "
    L"\u043D\u0430\u0439\u0434\u0435\u043D.",
};

// Chinese (Simplified): route print from Windows 7 work notes and course
// outputs; netsh's heading from blog notes and vendors' documents (the state
// words stay English); the success text, the "object exists" and the
// "element not found" refusals from published run logs and user documents, the mask
// message from the localised route help. The others follow them.
const Language kZh = {
    L"zh",
    936,
    L"\u63A5\u53E3\u5217\u8868",
    L"IPv4 \u8DEF\u7531\u8868",
    L"\u6D3B\u52A8\u8DEF\u7531:",
    L"\u7F51\u7EDC\u76EE\u6807        \u7F51\u7EDC\u63A9\u7801          \u7F51\u5173       "
    L"\u63A5\u53E3   \u8DC3\u70B9\u6570",
    L"\u6C38\u4E45\u8DEF\u7531:",
    L"  \u7F51\u7EDC\u5730\u5740          \u7F51\u7EDC\u63A9\u7801  \u7F51\u5173\u5730\u5740  "
    L"\u8DC3\u70B9\u6570",
    L"  \u65E0",
    L"\u5728\u94FE\u8DEF\u4E0A",
    L"\u9ED8\u8BA4 ",
    L"Idx     Met         MTU          \u72B6\u6001                \u540D\u79F0",
    L" \u64CD\u4F5C\u5B8C\u6210!",
    {
        L"\u8DEF\u7531\u6DFB\u52A0\u5931\u8D25: \u5BF9\u8C61\u5DF2\u5B58\u5728\u3002",
        L"\u8DEF\u7531\u6DFB\u52A0\u5931\u8D25: \u53C2\u6570\u9519\u8BEF\u3002",
        L"\u8DEF\u7531\u6DFB\u52A0\u5931\u8D25: "
        L"\u6307\u5B9A\u7684\u63A9\u7801\u53C2\u6570\u65E0\u6548\u3002(Destination & Mask) != "
        L"Destination\u3002",
        L"\u8DEF\u7531\u6DFB\u52A0\u5931\u8D25: "
        L"\u63A5\u53E3\u7D22\u5F15\u9519\u8BEF\uFF0C\u6216\u8005\u7F51\u5173\u4E0E\u63A5\u53E3"
        L"\u4E0D\u5728\u540C\u4E00\u7F51\u7EDC\u4E0A\u3002\u68C0\u67E5\u8BA1\u7B97\u673A\u7684 IP "
        L"\u5730\u5740\u8868\u3002",
        L"\u8DEF\u7531\u5220\u9664\u5931\u8D25: \u627E\u4E0D\u5230\u5143\u7D20\u3002",
        L"\u8DEF\u7531\u5220\u9664\u5931\u8D25: \u53C2\u6570\u9519\u8BEF\u3002",
        L"\u8DEF\u7531\u66F4\u6539\u5931\u8D25: \u627E\u4E0D\u5230\u5143\u7D20\u3002",
        L"\u8BF7\u6C42\u7684\u64CD\u4F5C\u9700\u8981\u63D0\u5347\u3002",
    },
    L"\u786E\u5B9A\u3002",
    L"\u5BF9\u8C61\u5DF2\u5B58\u5728\u3002",
    L"\u627E\u4E0D\u5230\u5143\u7D20\u3002",
};

// Spanish: route print from Windows 7 and 10 lab reports, with the stray "I"
// that Windows really prints before "Lista de interfaces". The route tool's
// messages and netsh's heading were not found published: the messages are
// the system's Spanish error texts after a prefix of ours, and netsh keeps
// the English heading.
const Language kEs = {
    L"es",
    850,
    L"ILista de interfaces",
    L"IPv4 Tabla de enrutamiento",
    L"Rutas activas:",
    L"Destino de red        M\u00E1scara de red   Puerta de enlace   Interfaz  M\u00E9trica",
    L"Rutas persistentes:",
    L"  Direcci\u00F3n de red  M\u00E1scara de red  Direcci\u00F3n de puerta de enlace  "
    L"M\u00E9trica",
    L"  Ninguno",
    L"En v\u00EDnculo",
    L"Predeterminada",
    L"Idx     Met         MTU          State                Name",
    L" OK!",
    {
        L"Error al agregar la ruta: El objeto ya existe.",
        L"Error al agregar la ruta: El par\u00E1metro no es correcto.",
        L"Error al agregar la ruta: El par\u00E1metro de m\u00E1scara especificado no es "
        L"v\u00E1lido. (Destino & M\u00E1scara) != Destino.",
        L"Error al agregar la ruta: El \u00EDndice de interfaz es incorrecto o la puerta de enlace "
        L"no est\u00E1 en la misma red que la interfaz. Compruebe la tabla de direcciones IP del "
        L"equipo.",
        L"Error al eliminar la ruta: Elemento no encontrado.",
        L"Error al eliminar la ruta: El par\u00E1metro no es correcto.",
        L"Error al cambiar la ruta: Elemento no encontrado.",
        L"La operaci\u00F3n solicitada requiere elevaci\u00F3n.",
    },
    L"Aceptar",
    L"El objeto ya existe.",
    L"Elemento no encontrado.",
};

// French: route print from a Windows 10 lab report and a firewall course
// ("On-link" stays English, " :" before each colon); netsh's heading and
// " OK!" from a published practical. The failure prefix was not found
// published: the messages are the system's French error texts after a prefix
// of ours.
const Language kFr = {
    L"fr",
    850,
    L"Liste d'Interfaces",
    L"IPv4 Table de routage",
    L"Itin\u00E9raires actifs :",
    L"Destination r\u00E9seau    Masque r\u00E9seau  Adr. passerelle   Adr. interface "
    L"M\u00E9trique",
    L"Itin\u00E9raires persistants :",
    L"  Adresse r\u00E9seau    Masque r\u00E9seau  Adresse passerelle M\u00E9trique",
    L"  Aucun",
    L"On-link",
    L"Par d\u00E9faut",
    L"Idx     M\u00E9t         MTU          \u00C9tat                Nom",
    L" OK!",
    {
        L"L'ajout de l'itin\u00E9raire a \u00E9chou\u00E9 : L'objet existe d\u00E9j\u00E0.",
        L"L'ajout de l'itin\u00E9raire a \u00E9chou\u00E9 : Param\u00E8tre incorrect.",
        L"L'ajout de l'itin\u00E9raire a \u00E9chou\u00E9 : Le param\u00E8tre de masque "
        L"sp\u00E9cifi\u00E9 n'est pas valide. (Destination & Masque) != Destination.",
        L"L'ajout de l'itin\u00E9raire a \u00E9chou\u00E9 : L'index d'interface est incorrect ou "
        L"la passerelle ne se trouve pas sur le m\u00EAme r\u00E9seau que l'interface. "
        L"V\u00E9rifiez la table d'adresses IP de l'ordinateur.",
        L"La suppression de l'itin\u00E9raire a \u00E9chou\u00E9 : \u00C9l\u00E9ment introuvable.",
        L"La suppression de l'itin\u00E9raire a \u00E9chou\u00E9 : Param\u00E8tre incorrect.",
        L"La modification de l'itin\u00E9raire a \u00E9chou\u00E9 : \u00C9l\u00E9ment introuvable.",
        L"L'op\u00E9ration demand\u00E9e n\u00E9cessite une \u00E9l\u00E9vation.",
    },
    L"Ok.",
    L"L'objet existe d\u00E9j\u00E0.",
    L"\u00C9l\u00E9ment introuvable.",
};

const Language* const kLanguages[] = {&kEn, &kDe, &kRu, &kZh, &kEs, &kFr};

}  // namespace

const Language* FindLanguage(const std::wstring& code) {
    for (const Language* language : kLanguages) {
        if (code == language->code) {
            return language;
        }
    }
    return nullptr;
}

const Language& LanguageOf(const Machine& machine) {
    const Language* language = FindLanguage(machine.language);
    return language != nullptr ? *language : kEn;
}

std::wstring LanguageCodes() {
    std::wstring codes;
    for (const Language* language : kLanguages) {
        codes += (codes.empty() ? L"" : L", ") + std::wstring(language->code);
    }
    return codes;
}

}  // namespace netsim
