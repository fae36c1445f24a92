// The handle model: typed handles in a tree, and the table that maps the
// HINTERNET values callers hold to them. A value is a counter that is never
// reused, so a stale or forged value finds nothing instead of memory.
#include "internal.h"

#include <unordered_map>

namespace wininet {

std::mutex &HandleLock()
{
    static std::mutex lock;
    return lock;
}

Handle::Handle(DWORD type, std::shared_ptr<Handle> parent, DWORD_PTR context)
    : type_(type), parent_(std::move(parent)), context_(context)
{
    if (parent_) {
        options_ = parent_->Settings();
    } else {
        std::lock_guard<std::mutex> hold(HandleLock());
        options_ = ProcessOptions();
    }
}

Handle::~Handle() = default;

Options Handle::Settings() const
{
    std::lock_guard<std::mutex> hold(HandleLock());
    return options_;
}

void Handle::Configure(const std::function<void(Options &)> &change)
{
    std::lock_guard<std::mutex> hold(HandleLock());
    change(options_);
}

DWORD Handle::Read(void *, DWORD, DWORD *) { return ERROR_INTERNET_INCORRECT_HANDLE_TYPE; }

DWORD Handle::Write(const void *, DWORD, DWORD *) { return ERROR_INTERNET_INCORRECT_HANDLE_TYPE; }

DWORD Handle::QueryOwnOption(DWORD, void *, DWORD *) { return ERROR_INTERNET_INVALID_OPTION; }

class HandleTable {
public:
    static HandleTable &Instance()
    {
        static HandleTable table;
        return table;
    }

    DWORD Register(const std::shared_ptr<Handle> &handle, HINTERNET *value)
    {
        std::lock_guard<std::mutex> hold(HandleLock());
        const std::shared_ptr<Handle> &parent = handle->parent_;
        // A parent closed by another thread meanwhile takes no more children.
        if (parent && (parent->closed_ || !handles_.count(Key(parent->value_))))
            return ERROR_INVALID_HANDLE;
        uintptr_t key = next_++;
        HINTERNET assigned = reinterpret_cast<HINTERNET>(key);
        handles_.reserve(handles_.size() + 1);
        if (parent)
            parent->children_.reserve(parent->children_.size() + 1);
        handle->value_ = assigned;
        handles_.emplace(key, handle);
        if (parent)
            parent->children_.push_back(assigned);
        *value = assigned;
        return ERROR_SUCCESS;
    }

    DWORD Find(HINTERNET value, std::shared_ptr<Handle> &handle)
    {
        std::lock_guard<std::mutex> hold(HandleLock());
        auto it = handles_.find(Key(value));
        if (it == handles_.end())
            return ERROR_INVALID_HANDLE;
        handle = it->second;
        return ERROR_SUCCESS;
    }

    DWORD Close(HINTERNET value)
    {
        std::vector<std::shared_ptr<Handle>> closed;
        {
            std::lock_guard<std::mutex> hold(HandleLock());
            auto it = handles_.find(Key(value));
            if (it == handles_.end())
                return ERROR_INVALID_HANDLE;
            std::shared_ptr<Handle> root = it->second;
            Collect(root, closed);
            if (const std::shared_ptr<Handle> &parent = root->parent_) {
                auto &siblings = parent->children_;
                for (auto s = siblings.begin(); s != siblings.end(); ++s) {
                    if (*s == value) {
                        siblings.erase(s);
                        break;
                    }
                }
            }
        }
        // Children first, as WinINet closes them; outside the lock, since a
        // handle may wake a transfer that another thread runs.
        for (auto h = closed.rbegin(); h != closed.rend(); ++h)
            (*h)->OnClose();
        return ERROR_SUCCESS;
    }

private:
    static uintptr_t Key(HINTERNET value) { return reinterpret_cast<uintptr_t>(value); }

    // Takes handle and its descendants out of the table, parents before children.
    void Collect(const std::shared_ptr<Handle> &handle, std::vector<std::shared_ptr<Handle>> &out)
    {
        handle->closed_ = true;
        handles_.erase(Key(handle->value_));
        out.push_back(handle);
        std::vector<HINTERNET> children;
        children.swap(handle->children_);
        for (HINTERNET child : children) {
            auto it = handles_.find(Key(child));
            if (it != handles_.end()) {
                std::shared_ptr<Handle> keep = it->second;
                Collect(keep, out);
            }
        }
    }

    std::unordered_map<uintptr_t, std::shared_ptr<Handle>> handles_;
    uintptr_t next_ = 1;
};

DWORD RegisterHandle(const std::shared_ptr<Handle> &handle, HINTERNET *value)
{
    return HandleTable::Instance().Register(handle, value);
}

DWORD FindHandle(HINTERNET value, std::shared_ptr<Handle> &handle)
{
    if (!value)
        return ERROR_INVALID_HANDLE;
    return HandleTable::Instance().Find(value, handle);
}

DWORD CloseHandleTree(HINTERNET value)
{
    if (!value)
        return ERROR_INVALID_HANDLE;
    return HandleTable::Instance().Close(value);
}

}  // namespace wininet

using namespace wininet;

BOOL WINAPI InternetCloseHandle(HINTERNET handle)
{
    DWORD err = Guard([&] { return CloseHandleTree(handle); });
    if (err) {
        SetLastError(err);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI InternetReadFile(HINTERNET file, LPVOID buffer, DWORD numberOfBytesToRead, LPDWORD numberOfBytesRead)
{
    DWORD err = Guard([&]() -> DWORD {
        std::shared_ptr<Handle> h;
        if (DWORD e = FindHandle(file, h))
            return e;
        if (!h->Readable())
            return ERROR_INTERNET_INCORRECT_HANDLE_TYPE;
        if (!numberOfBytesRead || (!buffer && numberOfBytesToRead))
            return ERROR_INVALID_PARAMETER;
        *numberOfBytesRead = 0;
        if (DWORD e = h->Read(buffer, numberOfBytesToRead, numberOfBytesRead))
            return e;
        // INTERNET_FLAG_NEED_FILE: the data file holds everything read so far.
        const Handle::Request *request = h->RequestInfo();
        if (request && request->dataFile && *numberOfBytesRead)
            return request->dataFile->Append(buffer, *numberOfBytesRead);
        return ERROR_SUCCESS;
    });
    if (err) {
        SetLastError(err);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI InternetWriteFile(HINTERNET file, LPCVOID buffer, DWORD numberOfBytesToWrite,
                              LPDWORD numberOfBytesWritten)
{
    DWORD err = Guard([&]() -> DWORD {
        std::shared_ptr<Handle> h;
        if (DWORD e = FindHandle(file, h))
            return e;
        if (!h->Writable())
            return ERROR_INTERNET_INCORRECT_HANDLE_TYPE;
        if (!numberOfBytesWritten || (!buffer && numberOfBytesToWrite))
            return ERROR_INVALID_PARAMETER;
        *numberOfBytesWritten = 0;
        return h->Write(buffer, numberOfBytesToWrite, numberOfBytesWritten);
    });
    if (err) {
        SetLastError(err);
        return FALSE;
    }
    return TRUE;
}
