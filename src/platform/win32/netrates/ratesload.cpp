#include "platform/win32/netrates/ratesload.h"

#include "platform/win32/wide.h"

#include <windows.h>

#include <objidl.h>
#include <winhttp.h>
#include <xmllite.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace valumat::netrates {

namespace {

// A DLL of the system directory, never one beside the program or in the current directory. Windows 7 without
// the update that brought LOAD_LIBRARY_SEARCH_SYSTEM32 refuses the flag; there the full path does the same.
HMODULE systemLibrary(const wchar_t* name) {
    if (HMODULE module = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        return module;
    }
    wchar_t folder[MAX_PATH];
    const UINT n = GetSystemDirectoryW(folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        return nullptr;
    }
    return LoadLibraryExW((std::wstring(folder, n) + L"\\" + name).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

template <class Fn> void resolve(HMODULE module, const char* name, Fn& function, bool& complete) {
    function = reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
    complete = complete && function != nullptr;
}

// The few WinHTTP functions used, from winhttp.dll of the system.
struct WinHttp {
    HMODULE module = nullptr;
    decltype(&::WinHttpOpen) open = nullptr;
    decltype(&::WinHttpCloseHandle) closeHandle = nullptr;
    decltype(&::WinHttpConnect) connect = nullptr;
    decltype(&::WinHttpOpenRequest) openRequest = nullptr;
    decltype(&::WinHttpSetOption) setOption = nullptr;
    decltype(&::WinHttpSetTimeouts) setTimeouts = nullptr;
    decltype(&::WinHttpSendRequest) sendRequest = nullptr;
    decltype(&::WinHttpReceiveResponse) receiveResponse = nullptr;
    decltype(&::WinHttpQueryHeaders) queryHeaders = nullptr;
    decltype(&::WinHttpReadData) readData = nullptr;
    decltype(&::WinHttpCrackUrl) crackUrl = nullptr;
    decltype(&::WinHttpGetIEProxyConfigForCurrentUser) ieProxyConfig = nullptr;
    decltype(&::WinHttpGetProxyForUrl) proxyForUrl = nullptr;
    bool complete = false;
};

const WinHttp* winHttp() {
    static const WinHttp api = [] {
        WinHttp w;
        w.module = systemLibrary(L"winhttp.dll");
        if (w.module == nullptr) {
            return w;
        }
        bool all = true;
        resolve(w.module, "WinHttpOpen", w.open, all);
        resolve(w.module, "WinHttpCloseHandle", w.closeHandle, all);
        resolve(w.module, "WinHttpConnect", w.connect, all);
        resolve(w.module, "WinHttpOpenRequest", w.openRequest, all);
        resolve(w.module, "WinHttpSetOption", w.setOption, all);
        resolve(w.module, "WinHttpSetTimeouts", w.setTimeouts, all);
        resolve(w.module, "WinHttpSendRequest", w.sendRequest, all);
        resolve(w.module, "WinHttpReceiveResponse", w.receiveResponse, all);
        resolve(w.module, "WinHttpQueryHeaders", w.queryHeaders, all);
        resolve(w.module, "WinHttpReadData", w.readData, all);
        resolve(w.module, "WinHttpCrackUrl", w.crackUrl, all);
        resolve(w.module, "WinHttpGetIEProxyConfigForCurrentUser", w.ieProxyConfig, all);
        resolve(w.module, "WinHttpGetProxyForUrl", w.proxyForUrl, all);
        w.complete = all;
        return w;
    }();
    return api.complete ? &api : nullptr;
}

using CreateXmlReaderFn = HRESULT(WINAPI*)(REFIID, void**, IMalloc*);

CreateXmlReaderFn createXmlReader() {
    static const CreateXmlReaderFn create = [] {
        HMODULE module = systemLibrary(L"xmllite.dll");
        return module == nullptr ? nullptr
                                 : reinterpret_cast<CreateXmlReaderFn>(
                                       reinterpret_cast<void (*)()>(GetProcAddress(module, "CreateXmlReader")));
    }();
    return create;
}

// The system's text for an error of WinHTTP or of the system, with its number.
std::string errorText(DWORD error, HMODULE module) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS | (module ? FORMAT_MESSAGE_FROM_HMODULE : 0),
                                   module, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = n > 0 && text != nullptr ? std::wstring(text, n) : L"";
    LocalFree(text);
    while (!message.empty() &&
           (message.back() == L'\r' || message.back() == L'\n' || message.back() == L' ' || message.back() == L'.')) {
        message.pop_back();
    }
    const std::string number = "Fehler " + std::to_string(error);
    return message.empty() ? number : win32::narrow(message) + " (" + number + ")";
}

// A handle of WinHTTP, closed at the end of its scope.
class Handle {
public:
    Handle(const WinHttp& api, HINTERNET handle) : api_(api), handle_(handle) {}
    ~Handle() {
        if (handle_ != nullptr) {
            api_.closeHandle(handle_);
        }
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HINTERNET get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    const WinHttp& api_;
    HINTERNET handle_;
};

// Strings WinHTTP hands over for the caller to free.
struct GlobalText {
    wchar_t* text = nullptr;
    ~GlobalText() {
        if (text != nullptr) {
            GlobalFree(text);
        }
    }
};

// The proxy as the user set it for the system ("Internet Options"): a proxy script or its automatic detection is
// asked for this address; a named proxy is used with its exceptions; without settings WinHTTP's own (netsh).
struct ProxyChoice {
    DWORD accessType = WINHTTP_ACCESS_TYPE_DEFAULT_PROXY;
    std::wstring proxy, bypass;
    bool automatic = false;
    std::wstring scriptUrl;
    bool detect = false;
};

ProxyChoice userProxy(const WinHttp& api) {
    ProxyChoice choice;
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config{};
    if (!api.ieProxyConfig(&config)) {
        return choice;
    }
    GlobalText script{config.lpszAutoConfigUrl}, proxy{config.lpszProxy}, bypass{config.lpszProxyBypass};
    choice.accessType = WINHTTP_ACCESS_TYPE_NO_PROXY;
    if (proxy.text != nullptr && *proxy.text != L'\0') {
        choice.accessType = WINHTTP_ACCESS_TYPE_NAMED_PROXY;
        choice.proxy = proxy.text;
        choice.bypass = bypass.text != nullptr ? bypass.text : L"";
    }
    choice.detect = config.fAutoDetect != FALSE;
    if (script.text != nullptr && *script.text != L'\0') {
        choice.scriptUrl = script.text;
    }
    choice.automatic = choice.detect || !choice.scriptUrl.empty();
    return choice;
}

// Asks the proxy script (or the network's, found automatically) which proxy serves `url`, and sets it on the
// request. Without an answer the session's choice stays.
void applyAutomaticProxy(const WinHttp& api, HINTERNET session, HINTERNET request, const std::wstring& url,
                         const ProxyChoice& choice) {
    WINHTTP_AUTOPROXY_OPTIONS options{};
    options.dwFlags = (choice.detect ? WINHTTP_AUTOPROXY_AUTO_DETECT : 0) |
                      (choice.scriptUrl.empty() ? 0 : WINHTTP_AUTOPROXY_CONFIG_URL);
    options.dwAutoDetectFlags = choice.detect ? WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A : 0;
    options.lpszAutoConfigUrl = choice.scriptUrl.empty() ? nullptr : choice.scriptUrl.c_str();
    options.fAutoLogonIfChallenged = TRUE;
    WINHTTP_PROXY_INFO info{};
    if (!api.proxyForUrl(session, url.c_str(), &options, &info)) {
        return;
    }
    GlobalText proxy{info.lpszProxy}, bypass{info.lpszProxyBypass};
    api.setOption(request, WINHTTP_OPTION_PROXY, &info, sizeof(info));
}

// A failed step of the transfer as the message of that kind of failure.
platform::RateLoad failure(DWORD error, const std::string& url, const Limits& limits, HMODULE module) {
    const std::string host = hostOfAddress(url);
    const std::string detail = errorText(error, module);
    switch (error) {
    case ERROR_WINHTTP_NAME_NOT_RESOLVED:
    case ERROR_WINHTTP_CANNOT_CONNECT:
    case WSAECONNREFUSED:
    case WSAENETUNREACH:
    case WSAEHOSTUNREACH:
        return {{}, loadmessage::offline(host, detail)};
    case ERROR_WINHTTP_TIMEOUT:
    case WSAETIMEDOUT: // Wine's WinHTTP passes on the socket's error
        return {{}, loadmessage::timedOut(host, limits.timeoutSeconds)};
    case ERROR_WINHTTP_SECURE_FAILURE:
    case ERROR_WINHTTP_SECURE_INVALID_CA:
    case ERROR_WINHTTP_SECURE_INVALID_CERT:
    case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
    case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
    case ERROR_WINHTTP_SECURE_CERT_REVOKED:
    case ERROR_WINHTTP_SECURE_CERT_REV_FAILED:
    case ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE:
    case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:
        return {{}, loadmessage::untrusted(host, detail)};
    case ERROR_WINHTTP_UNRECOGNIZED_SCHEME:
    case ERROR_WINHTTP_REDIRECT_FAILED: // a redirection away from https://
        return {{}, loadmessage::httpsOnly(url)};
    case ERROR_WINHTTP_OPERATION_CANCELLED:
        return {{}, loadmessage::cancelled()};
    default:
        return {{}, loadmessage::failed(host, detail)};
    }
}

platform::RateLoad download(const std::string& url, const Limits& limits) {
    const WinHttp* api = winHttp();
    if (api == nullptr) {
        return {{}, "Netzwerkbibliothek nicht verfügbar"};
    }
    auto failed = [&](DWORD error) { return failure(error, url, limits, api->module); };
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(limits.timeoutSeconds) * 1000;
    auto cancelled = [&] { return limits.cancel != nullptr && limits.cancel->load(); };

    const std::wstring wideUrl = win32::widen(url);
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof(parts);
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!api->crackUrl(wideUrl.c_str(), 0, 0, &parts)) {
        return failed(GetLastError());
    }
    if (parts.nScheme != INTERNET_SCHEME_HTTPS) {
        return {{}, loadmessage::httpsOnly(url)};
    }
    const std::wstring hostName(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
    path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);

    const ProxyChoice proxy = userProxy(*api);
    Handle session(*api, api->open(L"Valumat/1.2", proxy.accessType,
                                   proxy.accessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY ? proxy.proxy.c_str()
                                                                                       : WINHTTP_NO_PROXY_NAME,
                                   proxy.accessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY && !proxy.bypass.empty()
                                       ? proxy.bypass.c_str()
                                       : WINHTTP_NO_PROXY_BYPASS,
                                   0));
    if (!session) {
        return failed(GetLastError());
    }
    const int ms = static_cast<int>(limits.timeoutSeconds * 1000);
    api->setTimeouts(session.get(), ms, ms, ms, ms);
    Handle connection(*api, api->connect(session.get(), hostName.c_str(), parts.nPort, 0));
    if (!connection) {
        return failed(GetLastError());
    }
    Handle request(*api, api->openRequest(connection.get(), L"GET", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                          WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_SECURE));
    if (!request) {
        return failed(GetLastError());
    }
    // The timeouts on the request itself as well: not every WinHTTP passes the session's on to it, and the wait for
    // the answer's headers has a timeout of its own.
    api->setTimeouts(request.get(), ms, ms, ms, ms);
    DWORD responseTimeout = static_cast<DWORD>(ms);
    api->setOption(request.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &responseTimeout, sizeof(responseTimeout));
    DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_DISALLOW_HTTPS_TO_HTTP;
    api->setOption(request.get(), WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof(policy));
    DWORD redirects = 5;
    api->setOption(request.get(), WINHTTP_OPTION_MAX_HTTP_AUTOMATIC_REDIRECTS, &redirects, sizeof(redirects));
    DWORD decompression = WINHTTP_DECOMPRESSION_FLAG_ALL; // Windows 8.1 and later; older ones get it plain
    api->setOption(request.get(), WINHTTP_OPTION_DECOMPRESSION, &decompression, sizeof(decompression));
    if (proxy.automatic) {
        applyAutomaticProxy(*api, session.get(), request.get(), wideUrl, proxy);
    }
    if (cancelled()) {
        return {{}, loadmessage::cancelled()};
    }
    if (!api->sendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
        !api->receiveResponse(request.get(), nullptr)) {
        return failed(GetLastError());
    }

    const std::string host = hostOfAddress(url);
    DWORD number = 0;
    DWORD size = sizeof(number);
    if (api->queryHeaders(request.get(), WINHTTP_QUERY_CONTENT_LENGTH | WINHTTP_QUERY_FLAG_NUMBER,
                          WINHTTP_HEADER_NAME_BY_INDEX, &number, &size, WINHTTP_NO_HEADER_INDEX) &&
        number > limits.maxBytes) {
        return {{}, loadmessage::answerTooLarge(host, limits.maxBytes)};
    }
    DWORD status = 0;
    size = sizeof(status);
    if (!api->queryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                           WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
        return failed(GetLastError());
    }
    if (status != 200) {
        return {{}, loadmessage::httpStatus(host, static_cast<long>(status))};
    }

    std::string body;
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        if (cancelled()) {
            return {{}, loadmessage::cancelled()};
        }
        if (GetTickCount64() > deadline) {
            return {{}, loadmessage::timedOut(host, limits.timeoutSeconds)};
        }
        DWORD got = 0;
        if (!api->readData(request.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got)) {
            return failed(GetLastError());
        }
        if (got == 0) {
            break;
        }
        if (body.size() + got > limits.maxBytes) {
            return {{}, loadmessage::answerTooLarge(host, limits.maxBytes)};
        }
        body.append(buffer.data(), got);
    }
    return parseRates(body);
}

// The XML text as a stream for XmlLite, which reads it in pieces. Lives on the stack, longer than the reader that
// holds it, so the reference count only has to be kept, not acted on. (COM interfaces have no virtual destructor:
// objects are freed by their Release.)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class TextStream final : public ISequentialStream {
public:
    explicit TextStream(std::string_view text) : text_(text) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (IsEqualIID(iid, __uuidof(IUnknown)) || IsEqualIID(iid, __uuidof(ISequentialStream))) {
            *object = static_cast<ISequentialStream*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override { return --references_; }
    HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG wanted, ULONG* read) override {
        const std::size_t n = std::min<std::size_t>(wanted, text_.size() - position_);
        std::copy_n(text_.data() + position_, n, static_cast<char*>(buffer));
        position_ += n;
        if (read != nullptr) {
            *read = static_cast<ULONG>(n);
        }
        return n == wanted ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override { return STG_E_ACCESSDENIED; }

private:
    std::string_view text_;
    std::size_t position_ = 0;
    ULONG references_ = 1;
};
#pragma GCC diagnostic pop

// What XmlLite's error codes say, in the words the Linux loader's XML reader uses where they mean the same.
std::string xmlErrorText(HRESULT error) {
    switch (static_cast<unsigned long>(error)) {
    case MX_E_INPUTEND:
        return "unexpected end of input";
    case WC_E_ELEMENTMATCH:
        return "mismatched tag";
    case WC_E_ROOTELEMENT:
        return "no element found";
    case MX_E_ENCODING:
    case MX_E_ENCODINGSWITCH:
    case MX_E_ENCODINGSIGNATURE:
        return "unknown encoding";
    case WC_E_XMLCHARACTER:
        return "not well-formed (invalid token)";
    default:
        break;
    }
    char text[32];
    std::snprintf(text, sizeof text, "Fehlercode 0x%08lX", static_cast<unsigned long>(error));
    return text;
}

std::string text(const wchar_t* value, UINT length) {
    return win32::narrow(std::wstring_view(value, length));
}

// A COM pointer released at the end of its scope.
template <class T> struct Released {
    T* pointer = nullptr;
    ~Released() {
        if (pointer != nullptr) {
            pointer->Release();
        }
    }
};

} // namespace

Limits limitsFromEnvironment() {
    Limits limits;
    if (const char* t = std::getenv("VALUMAT_RATES_TIMEOUT"); t != nullptr && std::atol(t) > 0) {
        limits.timeoutSeconds = std::atol(t);
    }
    return limits;
}

platform::RateLoad parseRates(std::string_view xml) {
    if (looksLikeHtml(xml)) {
        return {{}, loadmessage::htmlPage()};
    }
    const CreateXmlReaderFn create = createXmlReader();
    Released<IXmlReader> reader;
    if (create == nullptr || FAILED(create(__uuidof(IXmlReader), reinterpret_cast<void**>(&reader.pointer), nullptr))) {
        return {{}, "XML-Bibliothek nicht verfügbar"};
    }
    // A rates file has no document type; one that has is refused before any entity is read.
    reader.pointer->SetProperty(XmlReaderProperty_DtdProcessing, DtdProcessing_Prohibit);
    TextStream stream(xml);
    if (FAILED(reader.pointer->SetInput(&stream))) {
        return {{}, "XML-Bibliothek nicht verfügbar"};
    }
    RateFileBuilder builder;
    XmlNodeType type = XmlNodeType_None;
    HRESULT status = S_OK;
    while ((status = reader.pointer->Read(&type)) == S_OK) {
        if (type == XmlNodeType_DocumentType) {
            return {{}, loadmessage::doctype()};
        }
        if (type == XmlNodeType_EndElement) {
            builder.endElement();
            continue;
        }
        if (type != XmlNodeType_Element) {
            continue;
        }
        const wchar_t* value = nullptr;
        UINT length = 0;
        reader.pointer->GetLocalName(&value, &length);
        const std::string name = text(value, length);
        const bool empty = reader.pointer->IsEmptyElement() != FALSE;
        std::vector<RateFileBuilder::Attribute> attributes;
        for (HRESULT more = reader.pointer->MoveToFirstAttribute(); more == S_OK;
             more = reader.pointer->MoveToNextAttribute()) {
            RateFileBuilder::Attribute attribute;
            reader.pointer->GetLocalName(&value, &length);
            attribute.name = text(value, length);
            reader.pointer->GetValue(&value, &length);
            attribute.value = text(value, length);
            attributes.push_back(std::move(attribute));
        }
        builder.startElement(name, attributes);
        if (empty) {
            builder.endElement();
        }
    }
    if (static_cast<unsigned long>(status) == WC_E_DTDPROHIBITED) {
        return {{}, loadmessage::doctype()};
    }
    if (FAILED(status)) {
        UINT line = 0;
        reader.pointer->GetLineNumber(&line);
        return {{}, loadmessage::xmlError(static_cast<long>(line), xmlErrorText(status))};
    }
    return builder.finish();
}

platform::RateLoad loadRates(const std::string& address, const Limits& limits) {
    return loadRatesAddress(
        address, limits.maxBytes, [&limits](const std::string& https) { return download(https, limits); }, parseRates);
}

} // namespace valumat::netrates
