#include "sifton/crkurl.h"

#include "sifton/tools.h"

#include <algorithm>
#include <cstring>
#include <limits>

TCrackUrl::TCrackUrl() = default;

TCrackUrl::~TCrackUrl()
{
    szFreeMemory();
}

void TCrackUrl::szAssignMemory(int32_t size)
{
    szFreeMemory();
    // A request below AllocatedSize would leave buffers shorter than the size recorded for
    // them; the buffers are always AllocatedSize bytes.
    AllocatedSize = std::max(size, AllocatedSize);
    for (auto &buffer : m_buffers)
        buffer = std::make_unique<char[]>(static_cast<size_t>(AllocatedSize)); // zero-filled
    pointRecordAtBuffers();
    // The derived texts are re-built in place on every call; room for the longest of them
    // (host and path of up to BufferSize characters each) is reserved here once.
    Domain.reserve(static_cast<size_t>(BufferSize));
    UrlPath.reserve(static_cast<size_t>(BufferSize) + 1);
    m_hostAndPath.reserve(2 * static_cast<size_t>(BufferSize) + 1);
    MemoryAssigned = true;
}

void TCrackUrl::szFreeMemory()
{
    if (!MemoryAssigned)
        return;
    for (auto &buffer : m_buffers)
        buffer.reset();
    szUrl = nullptr;
    Components.lpszScheme = Components.lpszHostName = Components.lpszUserName = nullptr;
    Components.lpszPassword = Components.lpszUrlPath = Components.lpszExtraInfo = nullptr;
    m_urlLength = 0;
    MemoryAssigned = false;
}

void TCrackUrl::AssignOrCheckMemorySize(int32_t length)
{
    // The URL is stored with its terminating zero, so a URL of AllocatedSize characters
    // needs larger buffers too.
    if (length >= AllocatedSize)
        szAssignMemory(length + 1);
    else if (!MemoryAssigned)
        szAssignMemory(AllocatedSize);
}

void TCrackUrl::pointRecordAtBuffers()
{
    szUrl = m_buffers[0].get();
    Components.lpszScheme = m_buffers[1].get();
    Components.lpszHostName = m_buffers[2].get();
    Components.lpszUserName = m_buffers[3].get();
    Components.lpszPassword = m_buffers[4].get();
    Components.lpszUrlPath = m_buffers[5].get();
    Components.lpszExtraInfo = m_buffers[6].get();
}

std::string_view TCrackUrl::component(const char *buffer, uint32_t length) const
{
    if (!MemoryAssigned || buffer == nullptr)
        return {};
    const auto limit = static_cast<uint32_t>(BufferSize - 1);
    return std::string_view(buffer, std::min(length, limit));
}

std::string_view TCrackUrl::Scheme() const
{
    return component(Components.lpszScheme, Components.dwSchemeLength);
}
std::string_view TCrackUrl::HostName() const
{
    return component(Components.lpszHostName, Components.dwHostNameLength);
}
std::string_view TCrackUrl::UserName() const
{
    return component(Components.lpszUserName, Components.dwUserNameLength);
}
std::string_view TCrackUrl::Password() const
{
    return component(Components.lpszPassword, Components.dwPasswordLength);
}
std::string_view TCrackUrl::PathWithFile() const
{
    return component(Components.lpszUrlPath, Components.dwUrlPathLength);
}
std::string_view TCrackUrl::ExtraInfo() const
{
    return component(Components.lpszExtraInfo, Components.dwExtraInfoLength);
}

std::string TCrackUrl::Url() const
{
    if (!MemoryAssigned)
        return {};
    return std::string(szUrl, m_urlLength);
}

void TCrackUrl::deriveUrlPath()
{
    // A last segment without a dot is taken for a folder: /pics/summer becomes /pics/summer/.
    const std::string_view path = PathWithFile();
    UrlPath.assign(path);
    const int k = LastChar('/', path);
    if (k > 0 && static_cast<size_t>(k) < path.size() && path.substr(k).find('.') == std::string_view::npos)
        UrlPath.push_back('/');
    if (UrlPath.empty())
        UrlPath.assign("/");
}

void TCrackUrl::deriveDomain()
{
    // The host without its last label, then from that the last label: pics.example.com gives
    // example.com, but example.com gives example and localhost nothing.
    const std::string_view host = HostName();
    const int b = LastChar('.', host);
    if (b <= 1) {
        Domain.clear();
        return;
    }
    const std::string_view withoutLast = host.substr(0, static_cast<size_t>(b) - 1);
    const int c = LastChar('.', withoutLast);
    if (c > 0)
        Domain.assign(host.substr(static_cast<size_t>(c)));
    else
        Domain.assign(withoutLast);
}

bool TCrackUrl::CrackUrl(std::string_view url, std::string_view saveRoot)
{
    // Beyond the 32-bit sizes of the record nothing can be split; such a text is refused
    // without being stored.
    if (url.size() >= static_cast<size_t>(std::numeric_limits<int32_t>::max()))
        url = {};
    AssignOrCheckMemorySize(static_cast<int32_t>(url.size()));
    if (!url.empty()) // an empty view may have no data pointer at all
        std::memcpy(szUrl, url.data(), url.size());
    szUrl[url.size()] = '\0';
    m_urlLength = url.size();

    Components.dwStructSize = platform::URL_COMPONENTS_RECORD_SIZE;
    const auto declared = static_cast<uint32_t>(BufferSize);
    Components.dwSchemeLength = Components.dwHostNameLength = Components.dwUserNameLength = declared;
    Components.dwPasswordLength = Components.dwUrlPathLength = Components.dwExtraInfoLength = declared;
    // An empty text fails to split like any relative one, and the split clears the components.
    Cracked = platform::SplitUrl(std::string_view(szUrl, m_urlLength), Components, true);

    deriveUrlPath();
    deriveDomain();
    if (saveRoot.empty()) {
        LocalFilePath.clear();
    } else {
        m_hostAndPath.assign(HostName());
        m_hostAndPath.append(UrlPath);
        // Room for root, host, path and "index.html", reserved once per root length.
        LocalFilePath.reserve(saveRoot.size() + m_hostAndPath.capacity() + 16);
        AssignPathFromUrl(LocalFilePath, saveRoot, m_hostAndPath);
    }
    return Cracked;
}

void TCrackUrl::CopyTCrackedUrl(const TCrackUrl &source)
{
    if (&source == this)
        return;
    // The URL is copied whole (not cut at BufferSize), so the copy's Url() is the source's;
    // the buffers grow to hold it.
    AssignOrCheckMemorySize(static_cast<int32_t>(source.m_urlLength));
    if (source.MemoryAssigned && source.m_urlLength > 0)
        std::memcpy(szUrl, source.szUrl, source.m_urlLength);
    szUrl[source.m_urlLength] = '\0';
    m_urlLength = source.m_urlLength;

    const auto copyText = [this](char *to, std::string_view text) {
        const size_t n = std::min(text.size(), static_cast<size_t>(BufferSize - 1));
        if (n > 0)
            std::memcpy(to, text.data(), n);
        to[n] = '\0';
    };
    copyText(Components.lpszScheme, source.Scheme());
    copyText(Components.lpszHostName, source.HostName());
    copyText(Components.lpszUserName, source.UserName());
    copyText(Components.lpszPassword, source.Password());
    copyText(Components.lpszUrlPath, source.PathWithFile());
    copyText(Components.lpszExtraInfo, source.ExtraInfo());

    Components.nPort = source.Components.nPort;
    Components.dwStructSize = source.Components.dwStructSize;
    Components.nScheme = source.Components.nScheme;
    Components.dwSchemeLength = static_cast<uint32_t>(source.Scheme().size());
    Components.dwHostNameLength = static_cast<uint32_t>(source.HostName().size());
    Components.dwUserNameLength = static_cast<uint32_t>(source.UserName().size());
    Components.dwPasswordLength = static_cast<uint32_t>(source.Password().size());
    Components.dwUrlPathLength = static_cast<uint32_t>(source.PathWithFile().size());
    Components.dwExtraInfoLength = static_cast<uint32_t>(source.ExtraInfo().size());
    UrlPath = source.UrlPath;
    Cracked = source.Cracked;
}
