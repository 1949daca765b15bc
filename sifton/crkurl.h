#pragma once
// TCrackUrl: the crawler's URL record. An absolute URL is split once into its components,
// kept in buffers the object owns and re-uses from call to call, together with the texts the
// crawl rules derive from them: the site identity (Domain), the normalised path (UrlPath) and,
// when a save root is given, the local file path of the URL's content (LocalFilePath).

#include "platform/url.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class TCrackUrl {
public:
    TCrackUrl();
    ~TCrackUrl();
    TCrackUrl(const TCrackUrl &) = delete;            // copies go through CopyTCrackedUrl
    TCrackUrl &operator=(const TCrackUrl &) = delete;

    // Splits `url` (an absolute URL) and fills every field; returns Cracked. The derived texts
    // are filled whether or not the split succeeded (from empty components when it failed).
    // After the first call, cracking URLs of ordinary length allocates nothing.
    [[nodiscard]] bool CrackUrl(std::string_view url, std::string_view saveRoot);

    // The URL exactly as it was last given to CrackUrl; empty before the first call.
    [[nodiscard]] std::string Url() const;

    // Makes this object a copy of `source`: port, URL text, the six component texts, the record
    // size, scheme code and component lengths, UrlPath and Cracked. Domain and LocalFilePath
    // are left as they are.
    void CopyTCrackedUrl(const TCrackUrl &source);

    // Releases any buffers, then reserves the seven buffers with `size` bytes each (never fewer
    // than AllocatedSize, so every buffer is always AllocatedSize bytes long).
    void szAssignMemory(int32_t size);
    // Releases the seven buffers when they are held.
    void szFreeMemory();
    // Makes sure the buffers hold a text of `length` characters and its terminating zero:
    // when they are too small they are replaced by buffers of length + 1 bytes (contents
    // dropped); when none are held yet, buffers of AllocatedSize bytes are reserved.
    void AssignOrCheckMemorySize(int32_t length);

    // The components of the last split (valid until the next CrackUrl or szFreeMemory).
    [[nodiscard]] std::string_view Scheme() const;
    [[nodiscard]] std::string_view HostName() const;
    [[nodiscard]] std::string_view UserName() const;
    [[nodiscard]] std::string_view Password() const;
    [[nodiscard]] std::string_view PathWithFile() const; // the path including any file name
    [[nodiscard]] std::string_view ExtraInfo() const;    // from the first "?" or "#"
    [[nodiscard]] uint16_t Port() const { return Components.nPort; }
    [[nodiscard]] int32_t SchemeCode() const { return Components.nScheme; }

    char *szUrl = nullptr;      // the URL text last given to CrackUrl, verbatim, zero-terminated
    std::string LocalFilePath;  // local path under the save root; empty without a save root
    int32_t BufferSize = 1024;  // declared size of each component buffer (zero included)
    bool MemoryAssigned = false;
    int32_t AllocatedSize = 1024; // size in bytes of each reserved buffer; never shrinks
    platform::URL_COMPONENTSA Components;
    std::string Domain;  // site identity derived from the host name
    std::string UrlPath; // normalised path; never empty after CrackUrl
    bool Cracked = false;

private:
    static constexpr int kBufferCount = 7; // szUrl and the six component buffers
    [[nodiscard]] std::string_view component(const char *buffer, uint32_t length) const;
    void pointRecordAtBuffers();
    void deriveUrlPath();
    void deriveDomain();

    std::unique_ptr<char[]> m_buffers[kBufferCount];
    std::string m_hostAndPath; // working text for LocalFilePath, kept to re-use its storage
    size_t m_urlLength = 0; // so Url() returns the text exactly, even with a zero byte in it
};
