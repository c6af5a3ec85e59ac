// Attribute values: the entity replacements written into a value, and the decoding of the
// character references read out of one, with the named character table. Pure byte work.
#include <cstring>
#include <string>

#include "xc_xmlengine.h"

namespace {

// The character entity names of HTML 4 and "apos", each in its own case. Bucket b holds the
// names whose bytes, folded to lower case, sum to b modulo 130, so the two names of a pair
// that differ only in case ("Eacute", "eacute") share a bucket, the capital one first. Each
// entry: 0x30 + the name length, four decimal digits of the code point, the name.
// clang-format off
const char* const kEntityBuckets[130] = {
    /*   0 */ "6" "0216" "Oslash"  "6" "0248" "oslash"  "6" "0217" "Ugrave"  "6" "0249" "ugrave",
    /*   1 */ "5" "8968" "lceil"  "5" "0937" "Omega"  "5" "0969" "omega"  "6" "0221" "Yacute"  "6" "0253" "yacute",
    /*   2 */ "5" "0916" "Delta"  "5" "0948" "delta"  "5" "0206" "Icirc"  "5" "0238" "icirc"  "6" "8472" "weierp",
    /*   3 */ "4" "0185" "sup1",
    /*   4 */ "6" "8970" "lfloor"  "4" "0178" "sup2",
    /*   5 */ "6" "0164" "curren"  "5" "0922" "Kappa"  "5" "0954" "kappa"  "5" "8212" "mdash"  "4" "0179" "sup3",
    /*   6 */ "5" "9830" "diams"  "5" "8211" "ndash",
    /*   7 */ "6" "8855" "otimes"  "5" "8969" "rceil",
    /*   8 */ "5" "0212" "Ocirc"  "5" "0244" "ocirc"  "5" "0338" "OElig"  "5" "0339" "oelig"  "5" "8482" "trade",
    /*   9 */ "5" "0197" "Aring"  "5" "0229" "aring"  "5" "0931" "Sigma"  "5" "0963" "sigma",
    /*  10 */ "5" "0180" "acute"  "6" "8971" "rfloor"  "5" "0732" "tilde",
    /*  11 */ "6" "8249" "lsaquo",
    /*  12 */ "5" "8734" "infin"  "6" "8201" "thinsp",
    /*  13 */ "5" "0161" "iexcl",
    /*  14 */ "5" "0920" "Theta"  "5" "0952" "theta"  "5" "0219" "Ucirc"  "5" "0251" "ucirc",
    /*  15 */ "5" "8254" "oline",
    /*  16 */ "5" "8260" "frasl"  "6" "8727" "lowast",
    /*  17 */ "5" "9827" "clubs"  "6" "0191" "iquest"  "6" "8250" "rsaquo",
    /*  18 */ "5" "8629" "crarr"  "5" "0181" "micro",
    /*  19 */ "5" "8222" "bdquo",
    /*  20 */ "",
    /*  21 */ "6" "0177" "plusmn"  "5" "8243" "Prime"  "5" "8242" "prime",
    /*  22 */ "4" "0914" "Beta"  "4" "0946" "beta",
    /*  23 */ "",
    /*  24 */ "",
    /*  25 */ "",
    /*  26 */ "5" "0171" "laquo"  "5" "0215" "times",
    /*  27 */ "4" "0710" "circ",
    /*  28 */ "4" "9001" "lang",
    /*  29 */ "5" "8220" "ldquo"  "4" "0175" "macr",
    /*  30 */ "4" "0182" "para"  "5" "0163" "pound"  "4" "8476" "real",
    /*  31 */ "",
    /*  32 */ "5" "8713" "notin"  "5" "0187" "raquo",
    /*  33 */ "4" "8773" "cong"  "5" "0223" "szlig"  "5" "0978" "upsih",
    /*  34 */ "5" "8776" "asymp"  "5" "8801" "equiv"  "4" "9002" "rang"  "5" "8218" "sbquo",
    /*  35 */ "4" "8659" "dArr"  "4" "8595" "darr"  "4" "0402" "fnof"  "5" "8221" "rdquo"  "5" "0222" "THORN"  "5" "0254" "thorn",
    /*  36 */ "4" "0162" "cent"  "5" "8722" "minus",
    /*  37 */ "5" "8707" "exist"  "4" "0170" "ordf",
    /*  38 */ "",
    /*  39 */ "5" "8709" "empty"  "4" "8660" "hArr"  "4" "8596" "harr"  "4" "0921" "Iota"  "4" "0953" "iota",
    /*  40 */ "",
    /*  41 */ "4" "0196" "Auml"  "4" "0228" "auml"  "4" "8226" "bull"  "4" "0167" "sect"  "4" "8838" "sube",
    /*  42 */ "",
    /*  43 */ "4" "8656" "lArr"  "4" "8592" "larr"  "5" "8853" "oplus",
    /*  44 */ "3" "0176" "deg"  "5" "8216" "lsquo"  "4" "0186" "ordm",
    /*  45 */ "4" "0039" "apos"  "4" "0203" "Euml"  "4" "0235" "euml"  "4" "8712" "isin"  "4" "0160" "nbsp",
    /*  46 */ "4" "0918" "Zeta"  "4" "0950" "zeta",
    /*  47 */ "3" "8743" "and"  "4" "8195" "emsp"  "4" "8719" "prod",
    /*  48 */ "3" "8745" "cap"  "3" "0935" "Chi"  "3" "0967" "chi"  "4" "8194" "ensp",
    /*  49 */ "4" "0207" "Iuml"  "4" "0239" "iuml"  "4" "8706" "part"  "4" "8869" "perp"  "4" "8658" "rArr"  "4" "8594" "rarr",
    /*  50 */ "3" "8736" "ang"  "4" "8836" "nsub"  "5" "8217" "rsquo",
    /*  51 */ "",
    /*  52 */ "4" "8901" "sdot"  "4" "8657" "uArr"  "4" "8593" "uarr",
    /*  53 */ "4" "0169" "copy"  "4" "8364" "euro",
    /*  54 */ "3" "0919" "Eta"  "3" "0951" "eta",
    /*  55 */ "4" "0214" "Ouml"  "4" "0246" "ouml"  "4" "8839" "supe",
    /*  56 */ "",
    /*  57 */ "",
    /*  58 */ "3" "0038" "amp"  "3" "0174" "reg",
    /*  59 */ "4" "8733" "prop",
    /*  60 */ "",
    /*  61 */ "3" "0208" "ETH"  "3" "0240" "eth"  "3" "0934" "Phi"  "3" "0966" "phi"  "4" "0220" "Uuml"  "4" "0252" "uuml",
    /*  62 */ "",
    /*  63 */ "",
    /*  64 */ "",
    /*  65 */ "4" "0376" "Yuml"  "4" "0255" "yuml",
    /*  66 */ "",
    /*  67 */ "4" "0034" "quot"  "4" "8204" "zwnj",
    /*  68 */ "3" "8746" "cup"  "6" "8756" "there4",
    /*  69 */ "3" "0929" "Rho"  "3" "0961" "rho"  "3" "8764" "sim",
    /*  70 */ "3" "8834" "sub"  "3" "0932" "Tau"  "3" "0964" "tau",
    /*  71 */ "3" "8747" "int"  "3" "8206" "lrm"  "3" "8207" "rlm",
    /*  72 */ "3" "0936" "Psi"  "3" "0968" "psi"  "3" "0165" "yen",
    /*  73 */ "",
    /*  74 */ "2" "8805" "ge"  "3" "0168" "uml",
    /*  75 */ "3" "0982" "piv",
    /*  76 */ "",
    /*  77 */ "3" "0172" "not",
    /*  78 */ "",
    /*  79 */ "2" "8804" "le",
    /*  80 */ "3" "0173" "shy",
    /*  81 */ "3" "9674" "loz"  "2" "8800" "ne"  "3" "8721" "sum",
    /*  82 */ "",
    /*  83 */ "",
    /*  84 */ "3" "8835" "sup",
    /*  85 */ "2" "8715" "ni",
    /*  86 */ "",
    /*  87 */ "2" "0928" "Pi"  "2" "0960" "pi"  "3" "8205" "zwj",
    /*  88 */ "",
    /*  89 */ "2" "0062" "gt"  "6" "0923" "Lambda"  "6" "0955" "lambda",
    /*  90 */ "",
    /*  91 */ "",
    /*  92 */ "6" "0199" "Ccedil"  "6" "0231" "ccedil",
    /*  93 */ "",
    /*  94 */ "2" "0060" "lt",
    /*  95 */ "2" "8744" "or"  "2" "0926" "Xi"  "2" "0958" "xi",
    /*  96 */ "2" "0924" "Mu"  "2" "0956" "mu",
    /*  97 */ "2" "0925" "Nu"  "2" "0957" "nu",
    /*  98 */ "6" "8225" "Dagger"  "6" "8224" "dagger",
    /*  99 */ "8" "0977" "thetasym",
    /* 100 */ "",
    /* 101 */ "",
    /* 102 */ "",
    /* 103 */ "7" "8501" "alefsym",
    /* 104 */ "",
    /* 105 */ "",
    /* 106 */ "",
    /* 107 */ "6" "0193" "Aacute"  "6" "0225" "aacute"  "6" "0195" "Atilde"  "6" "0227" "atilde",
    /* 108 */ "",
    /* 109 */ "6" "0247" "divide"  "7" "0927" "Omicron"  "7" "0959" "omicron",
    /* 110 */ "6" "0192" "Agrave"  "6" "0224" "agrave",
    /* 111 */ "6" "0201" "Eacute"  "6" "0233" "eacute"  "6" "0962" "sigmaf",
    /* 112 */ "7" "0917" "Epsilon"  "7" "0949" "epsilon",
    /* 113 */ "",
    /* 114 */ "6" "0200" "Egrave"  "6" "0232" "egrave",
    /* 115 */ "6" "0205" "Iacute"  "6" "0237" "iacute",
    /* 116 */ "",
    /* 117 */ "",
    /* 118 */ "6" "8230" "hellip"  "6" "0204" "Igrave"  "6" "0236" "igrave",
    /* 119 */ "6" "0166" "brvbar",
    /* 120 */ "6" "8704" "forall"  "5" "8711" "nabla"  "6" "0209" "Ntilde"  "6" "0241" "ntilde"  "6" "9824" "spades",
    /* 121 */ "6" "0189" "frac12"  "6" "0183" "middot"  "6" "0211" "Oacute"  "6" "0243" "oacute"  "6" "0213" "Otilde"  "6" "0245" "otilde",
    /* 122 */ "",
    /* 123 */ "5" "0184" "cedil"  "6" "0188" "frac14",
    /* 124 */ "5" "0194" "Acirc"  "5" "0226" "acirc"  "5" "0198" "AElig"  "5" "0230" "aelig"  "6" "0210" "Ograve"  "6" "0242" "ograve",
    /* 125 */ "6" "0190" "frac34"  "5" "0915" "Gamma"  "5" "0947" "gamma"  "5" "8465" "image"  "5" "8730" "radic",
    /* 126 */ "6" "0352" "Scaron"  "6" "0353" "scaron",
    /* 127 */ "6" "9829" "hearts"  "6" "0218" "Uacute"  "6" "0250" "uacute",
    /* 128 */ "5" "0913" "Alpha"  "5" "0945" "alpha"  "5" "0202" "Ecirc"  "5" "0234" "ecirc"  "7" "0933" "Upsilon"  "7" "0965" "upsilon",
    /* 129 */ "6" "8240" "permil",
};
// clang-format on

char Folded(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

// The name exactly as written, or else the first one equal to it when case is folded.
uint32_t LookupEntity(const std::string& name) {
    unsigned sum = 0;
    for (char c : name) sum += uint8_t(Folded(c));
    const char* const bucket = kEntityBuckets[sum % 130];
    for (bool folded : {false, true}) {
        for (const char* p = bucket; *p;) {
            const size_t length = size_t(p[0] - 0x30);
            const char* stored = p + 5;
            p += 5 + length;
            if (length != name.size()) continue;
            size_t i = 0;
            while (i < length && (folded ? Folded(stored[i]) == Folded(name[i]) : stored[i] == name[i])) ++i;
            if (i == length)
                return uint32_t((stored[-4] - '0') * 1000 + (stored[-3] - '0') * 100 + (stored[-2] - '0') * 10 +
                                (stored[-1] - '0'));
        }
    }
    return 0;
}

// Digits as far as they go; 0 (no reference) when there are none or the value is no code point.
uint32_t ParseCodePoint(const std::string& digits, unsigned base) {
    uint32_t code = 0;
    for (char c : digits) {
        unsigned d;
        if (c >= '0' && c <= '9')
            d = unsigned(c - '0');
        else if (base == 16 && Folded(c) >= 'a' && Folded(c) <= 'f')
            d = unsigned(Folded(c) - 'a' + 10);
        else
            break;
        code = code * base + d;
        if (code > 0x10FFFF) return 0;
    }
    return code;
}

void AppendUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | (code >> 6));
        out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += char(0xE0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xF0 | (code >> 18));
        out += char(0x80 | ((code >> 12) & 0x3F));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

}  // namespace

std::string XC_XmlEngine::EncodeValue(const char* value) {
    std::string out;
    for (const char* p = value; *p; ++p) {
        switch (*p) {
            case '<':
                out += "&lt;";
                break;
            case '&':
                out += "&amp;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            default:
                out += *p;
                break;
        }
    }
    return out;
}

std::string XC_XmlEngine::DecodeValue(const char* text, int32_t length) {
    std::string out;
    out.reserve(size_t(length > 0 ? length : 0));
    for (int32_t i = 0; i < length; ++i) {
        if (text[i] != '&') {
            out += text[i];
            continue;
        }
        std::string name;
        int32_t j = i + 1;
        for (; j < length && name.size() < 9 && text[j] != ';' && uint8_t(text[j]) < 0x80; ++j) name += text[j];
        uint32_t code = 0;
        if (j < length && text[j] == ';' && !name.empty()) {
            if (name[0] != '#')
                code = LookupEntity(name);
            else if (name.size() > 1 && Folded(name[1]) == 'x')
                code = ParseCodePoint(name.substr(2), 16);
            else
                code = ParseCodePoint(name.substr(1), 10);
        }
        if (code != 0) {
            AppendUtf8(out, code);
            i = j;
        } else {
            out += '&';
        }
    }
    return out;
}
