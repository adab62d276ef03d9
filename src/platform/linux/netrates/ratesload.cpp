#include "platform/linux/netrates/ratesload.h"

#include "runtime/text.h"
#include "store/ratesupdate.h"

#include <curl/curl.h>
#include <expat.h>

#include <cstdlib>
#include <fstream>
#include <mutex>

namespace valumat::netrates {

namespace {

constexpr const char* kNotRates = "keine Kursdatei der EZB";

std::string mib(std::size_t bytes) {
    return std::to_string(bytes >> 20) + " MiB";
}

// Whether a text looks like an HTML page (an error page of a server or a proxy) rather than XML.
bool looksLikeHtml(std::string_view text) {
    const auto start = text.find_first_not_of(" \t\r\n\xEF\xBB\xBF");
    if (start == std::string_view::npos) {
        return false;
    }
    const std::string head = upperAscii(text.substr(start, 256));
    return head.starts_with("<!DOCTYPE HTML") || head.find("<HTML") != std::string::npos;
}

struct Parse {
    RateFileBuilder builder;
    bool doctype = false;
};

std::string localName(const XML_Char* name) {
    const std::string full = name;
    const auto bar = full.rfind('|');
    return bar == std::string::npos ? full : full.substr(bar + 1);
}

void XMLCALL onStart(void* data, const XML_Char* name, const XML_Char** attributes) {
    std::vector<RateFileBuilder::Attribute> list;
    for (int i = 0; attributes[i] != nullptr; i += 2) {
        list.push_back({localName(attributes[i]), attributes[i + 1]});
    }
    static_cast<Parse*>(data)->builder.startElement(localName(name), list);
}

void XMLCALL onEnd(void* data, const XML_Char*) {
    static_cast<Parse*>(data)->builder.endElement();
}

// A rates file has no document type; one that has is refused before any entity is read.
void XMLCALL onDoctype(void* data, const XML_Char*, const XML_Char*, const XML_Char*, int) {
    static_cast<Parse*>(data)->doctype = true;
}

struct Transfer {
    std::string body;
    std::size_t maxBytes = 0;
    bool tooLarge = false;
    const std::atomic<bool>* cancel = nullptr;
};

size_t onBody(char* bytes, size_t size, size_t count, void* data) {
    auto* t = static_cast<Transfer*>(data);
    const size_t n = size * count;
    if (t->body.size() + n > t->maxBytes) {
        t->tooLarge = true;
        return 0; // stops the transfer
    }
    t->body.append(bytes, n);
    return n;
}

int onProgress(void* data, curl_off_t total, curl_off_t, curl_off_t, curl_off_t) {
    auto* t = static_cast<Transfer*>(data);
    if (total > 0 && static_cast<std::size_t>(total) > t->maxBytes) {
        t->tooLarge = true;
        return 1;
    }
    return t->cancel != nullptr && t->cancel->load() ? 1 : 0;
}

std::string hostOf(const std::string& url) {
    const auto start = url.find("://");
    std::string rest = start == std::string::npos ? url : url.substr(start + 3);
    return rest.substr(0, rest.find_first_of("/:?#"));
}

platform::RateLoad download(const std::string& url, const Limits& limits) {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    CURL* curl = curl_easy_init();
    if (curl == nullptr) {
        return {{}, "Netzwerkbibliothek nicht verfügbar"};
    }
    Transfer t;
    t.maxBytes = limits.maxBytes;
    t.cancel = limits.cancel;
    char errorText[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!limits.caFile.empty()) {
        curl_easy_setopt(curl, CURLOPT_CAINFO, limits.caFile.c_str());
    }
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, limits.timeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, limits.timeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, ""); // gzip where the server offers it
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.maxBytes));
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "Valumat/1.2");
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &t);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
    const CURLcode code = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(curl);

    const std::string host = hostOf(url);
    const std::string detail = errorText[0] != '\0' ? errorText : curl_easy_strerror(code);
    if (t.tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
        return {{}, "Die Antwort von " + host + " ist größer als " + mib(limits.maxBytes) + ", " + kNotRates};
    }
    switch (code) {
    case CURLE_OK:
        break;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_CONNECT:
        return {{}, "Keine Verbindung zu " + host + " (offline?): " + detail};
    case CURLE_OPERATION_TIMEDOUT:
        return {{},
                host + " hat nicht innerhalb von " + std::to_string(limits.timeoutSeconds) +
                    " s geantwortet (Zeitüberschreitung)"};
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CONNECT_ERROR:
        return {{}, "Das Zertifikat von " + host + " ist nicht vertrauenswürdig: " + detail};
    case CURLE_UNSUPPORTED_PROTOCOL:
        return {{}, "Nur https://-Adressen werden geladen: " + url};
    case CURLE_ABORTED_BY_CALLBACK:
        return {{}, "Laden abgebrochen"};
    default:
        return {{}, "Fehler beim Laden von " + host + ": " + detail};
    }
    if (status != 200) {
        return {{}, "Der Server " + host + " antwortet mit HTTP " + std::to_string(status) + ", " + kNotRates};
    }
    return parseRates(t.body);
}

platform::RateLoad readFile(const std::string& path, const Limits& limits) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return {{}, "Datei nicht gefunden: " + path};
    }
    in.seekg(0, std::ios::end);
    const auto size = static_cast<std::size_t>(in.tellg());
    if (size > limits.maxBytes) {
        return {{}, "Die Datei " + path + " ist größer als " + mib(limits.maxBytes) + ", " + kNotRates};
    }
    in.seekg(0);
    std::string bytes(size, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(size));
    if (!in) {
        return {{}, "Fehler beim Lesen von " + path};
    }
    return parseRates(bytes);
}

} // namespace

Limits limitsFromEnvironment() {
    Limits limits;
    if (const char* t = std::getenv("VALUMAT_RATES_TIMEOUT"); t != nullptr && std::atol(t) > 0) {
        limits.timeoutSeconds = std::atol(t);
    }
    if (const char* ca = std::getenv("VALUMAT_RATES_CA_FILE"); ca != nullptr) {
        limits.caFile = ca;
    }
    return limits;
}

platform::RateLoad parseRates(std::string_view xml) {
    if (looksLikeHtml(xml)) {
        return {{}, "Die Antwort ist eine HTML-Seite, " + std::string(kNotRates)};
    }
    Parse parse;
    XML_Parser parser = XML_ParserCreateNS(nullptr, '|');
    XML_SetUserData(parser, &parse);
    XML_SetElementHandler(parser, onStart, onEnd);
    XML_SetStartDoctypeDeclHandler(parser, onDoctype);
    const auto status = XML_Parse(parser, xml.data(), static_cast<int>(xml.size()), 1);
    std::string error;
    if (parse.doctype) {
        error = "Die Antwort hat eine Dokumenttyp-Deklaration, " + std::string(kNotRates);
    } else if (status != XML_STATUS_OK) {
        error = "Die Kursdatei ist fehlerhaft oder unvollständig (XML-Fehler in Zeile " +
                std::to_string(XML_GetCurrentLineNumber(parser)) + ": " + XML_ErrorString(XML_GetErrorCode(parser)) +
                ")";
    }
    XML_ParserFree(parser);
    if (!error.empty()) {
        return {{}, error};
    }
    return parse.builder.finish();
}

platform::RateLoad loadRates(const std::string& address, const Limits& limits) {
    const std::string scheme = upperAscii(address.substr(0, 8));
    if (scheme.starts_with("HTTPS://")) {
        return download(address, limits);
    }
    if (address.find("://") != std::string::npos) {
        if (scheme.starts_with("FILE://")) {
            return readFile(address.substr(7), limits);
        }
        return {{}, "Nur https://-Adressen werden geladen: " + address};
    }
    return readFile(address, limits);
}

} // namespace valumat::netrates
