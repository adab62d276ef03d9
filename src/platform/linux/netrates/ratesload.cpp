#include "platform/linux/netrates/ratesload.h"

#include "store/ratesupdate.h"

#include <curl/curl.h>
#include <expat.h>

#include <cstdlib>
#include <mutex>

namespace valumat::netrates {

namespace {

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

    const std::string host = hostOfAddress(url);
    const std::string detail = errorText[0] != '\0' ? errorText : curl_easy_strerror(code);
    if (t.tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
        return {{}, loadmessage::answerTooLarge(host, limits.maxBytes)};
    }
    switch (code) {
    case CURLE_OK:
        break;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_CONNECT:
        return {{}, loadmessage::offline(host, detail)};
    case CURLE_OPERATION_TIMEDOUT:
        return {{}, loadmessage::timedOut(host, limits.timeoutSeconds)};
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CONNECT_ERROR:
        return {{}, loadmessage::untrusted(host, detail)};
    case CURLE_UNSUPPORTED_PROTOCOL:
        return {{}, loadmessage::httpsOnly(url)};
    case CURLE_ABORTED_BY_CALLBACK:
        return {{}, loadmessage::cancelled()};
    default:
        return {{}, loadmessage::failed(host, detail)};
    }
    if (status != 200) {
        return {{}, loadmessage::httpStatus(host, status)};
    }
    return parseRates(t.body);
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
        return {{}, loadmessage::htmlPage()};
    }
    Parse parse;
    XML_Parser parser = XML_ParserCreateNS(nullptr, '|');
    XML_SetUserData(parser, &parse);
    XML_SetElementHandler(parser, onStart, onEnd);
    XML_SetStartDoctypeDeclHandler(parser, onDoctype);
    const auto status = XML_Parse(parser, xml.data(), static_cast<int>(xml.size()), 1);
    std::string error;
    if (parse.doctype) {
        error = loadmessage::doctype();
    } else if (status != XML_STATUS_OK) {
        error = loadmessage::xmlError(static_cast<long>(XML_GetCurrentLineNumber(parser)),
                                      XML_ErrorString(XML_GetErrorCode(parser)));
    }
    XML_ParserFree(parser);
    if (!error.empty()) {
        return {{}, error};
    }
    return parse.builder.finish();
}

platform::RateLoad loadRates(const std::string& address, const Limits& limits) {
    return loadRatesAddress(
        address, limits.maxBytes, [&limits](const std::string& https) { return download(https, limits); }, parseRates);
}

} // namespace valumat::netrates
