#include "platform/win32/win32rates.h"

#include "platform/win32/netrates/ratesload.h"

#include <atomic>
#include <cstdlib>

namespace valumat::win32 {

struct RateLoader::Job {
    std::string address;
    HWND window = nullptr;
    WPARAM serial = 0; // names the load in its message
    std::atomic<bool> cancel{false};
    platform::RateLoad result;
};

namespace {

DWORD WINAPI loadOnThread(void* parameter) {
    // The thread's own reference: the job outlives a loader that stopped waiting for it.
    const std::unique_ptr<std::shared_ptr<RateLoader::Job>> owned(
        static_cast<std::shared_ptr<RateLoader::Job>*>(parameter));
    RateLoader::Job& job = **owned;
    netrates::Limits limits = netrates::limitsFromEnvironment();
    limits.cancel = &job.cancel;
    job.result = netrates::loadRates(job.address, limits);
    if (!job.cancel) {
        PostMessageW(job.window, kRatesLoadedMessage, job.serial, 0);
    }
    return 0;
}

} // namespace

RateLoader::~RateLoader() {
    // A transfer stops at its next step; one waiting for a server that does not answer is left to its timeout (the
    // process may end meanwhile).
    stop(3000);
}

void RateLoader::stop(DWORD waitMilliseconds) {
    if (job_ != nullptr) {
        job_->cancel = true;
    }
    if (thread_ != nullptr) {
        WaitForSingleObject(thread_, waitMilliseconds);
        CloseHandle(thread_);
        thread_ = nullptr;
    }
    job_.reset();
    done_ = nullptr;
}

void RateLoader::load(const std::string& address, std::function<void(platform::RateLoad)> done) {
    stop(0); // a load still running ends on its own, unheard; the user-interface thread never waits for it
    auto job = std::make_shared<Job>();
    // VALUMAT_RATES_URL stands in for the bank's address in tests.
    const char* replacement = std::getenv("VALUMAT_RATES_URL");
    job->address = replacement != nullptr ? std::string(replacement) : address;
    job->window = window_;
    job->serial = ++serial_;
    auto* threadReference = new std::shared_ptr<Job>(job);
    thread_ = CreateThread(nullptr, 0, loadOnThread, threadReference, 0, nullptr);
    if (thread_ == nullptr) {
        delete threadReference;
        // Without a thread the result comes all the same, through the window, as from one.
        job->result = {{}, "Kurse laden: kein Thread verfügbar"};
        PostMessageW(window_, kRatesLoadedMessage, job->serial, 0);
    }
    job_ = std::move(job);
    done_ = std::move(done);
}

bool RateLoader::handleMessage(UINT message, WPARAM wParam, LPARAM) {
    if (message != kRatesLoadedMessage) {
        return false;
    }
    if (job_ == nullptr || wParam != job_->serial) {
        return true; // of a load that was stopped
    }
    if (thread_ != nullptr) {
        WaitForSingleObject(thread_, INFINITE); // it has posted its last word and ends
        CloseHandle(thread_);
        thread_ = nullptr;
    }
    platform::RateLoad result = std::move(job_->result);
    auto done = std::move(done_);
    job_.reset();
    done_ = nullptr;
    if (done) {
        done(std::move(result));
    }
    return true;
}

} // namespace valumat::win32
