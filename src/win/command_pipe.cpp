#include "win/command_pipe.h"

#include <sddl.h>

#include <memory>
#include <optional>
#include <vector>

#include "core/product.h"
#include "win/log.h"

namespace quenvix::win {

namespace {

struct AccountSid {
    std::vector<BYTE> buffer;
    PSID Sid() const { return reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid; }
};

std::optional<AccountSid> ProcessUser(HANDLE process) {
    HANDLE rawToken = nullptr;
    if (!OpenProcessToken(process, TOKEN_QUERY, &rawToken)) return {};
    UniqueHandle token(rawToken);
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    if (size < sizeof(TOKEN_USER)) return {};
    AccountSid user{std::vector<BYTE>(size)};
    if (!GetTokenInformation(token.get(), TokenUser, user.buffer.data(), size, &size)) return {};
    return user;
}

std::optional<DWORD> SessionOf(DWORD processId) {
    DWORD session = 0;
    if (!ProcessIdToSessionId(processId, &session)) return {};
    return session;
}

}  // namespace

std::wstring CommandPipeName() {
    const auto user = ProcessUser(GetCurrentProcess());
    const auto session = SessionOf(GetCurrentProcessId());
    if (!user || !session) {
        LogLastError("Reading this process's account and session");
        return {};
    }
    LPWSTR rawText = nullptr;
    if (!ConvertSidToStringSidW(user->Sid(), &rawText)) {
        LogLastError("ConvertSidToStringSidW");
        return {};
    }
    const std::unique_ptr<wchar_t, decltype(&LocalFree)> sidText(rawText, &LocalFree);
    return L"\\\\.\\pipe\\" + Widen(core::kProductName) + L"." + sidText.get() + L"." +
           std::to_wstring(*session);
}

bool IsSameUserAndSession(HANDLE process, DWORD processId) {
    const auto peerSession = SessionOf(processId);
    const auto ownSession = SessionOf(GetCurrentProcessId());
    if (!peerSession || !ownSession || *peerSession != *ownSession) return false;
    const auto peerUser = ProcessUser(process);
    const auto ownUser = ProcessUser(GetCurrentProcess());
    return peerUser && ownUser && EqualSid(peerUser->Sid(), ownUser->Sid());
}

UniqueHandle OpenPeerIfOurs(HANDLE pipe, bool peerIsClient, DWORD access, DWORD* processId) {
    ULONG peer = 0;
    const BOOL known = peerIsClient ? GetNamedPipeClientProcessId(pipe, &peer)
                                    : GetNamedPipeServerProcessId(pipe, &peer);
    if (!known || peer == 0) {
        LogLastError(peerIsClient ? "GetNamedPipeClientProcessId" : "GetNamedPipeServerProcessId");
        return {};
    }
    UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | access, FALSE, peer));
    if (!process) {
        LogLastError("OpenProcess (command pipe peer)");
        return {};
    }
    if (!IsSameUserAndSession(process.get(), peer)) return {};
    if (processId) *processId = peer;
    return process;
}

}  // namespace quenvix::win
