#include "desktop/update/BundleSignature.h"

#include "support/Files.h"

#include <array>
#include <filesystem>
#include <fstream>
#include <map>
#include <sodium.h>
#include <sstream>
#include <vector>

namespace drovane::desktop {

namespace {

namespace fs = std::filesystem;

std::optional<std::vector<unsigned char>> fromBase64(const std::string& text) {
    std::vector<unsigned char> bytes(text.size());
    std::size_t length = 0;
    if (sodium_base642bin(bytes.data(), bytes.size(), text.data(), text.size(), nullptr, &length, nullptr,
                          sodium_base64_VARIANT_ORIGINAL) != 0) {
        return std::nullopt;
    }
    bytes.resize(length);
    return bytes;
}

std::optional<std::string> sha256Hex(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    crypto_hash_sha256_state state;
    crypto_hash_sha256_init(&state);
    std::array<char, 64 * 1024> buffer;
    while (in.read(buffer.data(), buffer.size()) || in.gcount() > 0) {
        crypto_hash_sha256_update(&state, reinterpret_cast<const unsigned char*>(buffer.data()),
                                  static_cast<unsigned long long>(in.gcount()));
    }
    std::array<unsigned char, crypto_hash_sha256_BYTES> digest;
    crypto_hash_sha256_final(&state, digest.data());
    std::array<char, crypto_hash_sha256_BYTES * 2 + 1> hex;
    sodium_bin2hex(hex.data(), hex.size(), digest.data(), digest.size());
    return std::string(hex.data());
}

// Why `signature` (a minisign signature file) is not `publicKey`'s over `message`.
std::optional<std::string> refusedSignature(const std::string& message, const std::string& signature,
                                            const std::string& publicKey) {
    const auto key = fromBase64(publicKey);
    if (!key || key->size() != 42 || (*key)[0] != 'E' || (*key)[1] != 'd') {
        return "not a minisign public key";
    }
    std::istringstream lines(signature);
    std::string untrusted, encoded, trustedLine, encodedGlobal;
    std::getline(lines, untrusted);
    std::getline(lines, encoded);
    std::getline(lines, trustedLine);
    std::getline(lines, encodedGlobal);
    const std::string trustedPrefix = "trusted comment: ";
    const auto sig = fromBase64(encoded);
    const auto global = fromBase64(encodedGlobal);
    if (!untrusted.starts_with("untrusted comment: ") || !sig || sig->size() != 74 ||
        !trustedLine.starts_with(trustedPrefix) || !global || global->size() != crypto_sign_BYTES) {
        return "not a minisign signature";
    }
    if (!std::equal(sig->begin() + 2, sig->begin() + 10, key->begin() + 2)) {
        return "signed by another key";
    }
    const unsigned char* pk = key->data() + 10;
    const unsigned char* signatureBytes = sig->data() + 10;
    std::vector<unsigned char> signedBytes(message.begin(), message.end());
    if ((*sig)[0] == 'E' && (*sig)[1] == 'D') {
        // Prehashed: the signature covers the message's BLAKE2b-512.
        std::vector<unsigned char> digest(crypto_generichash_BYTES_MAX);
        crypto_generichash(digest.data(), digest.size(), signedBytes.data(), signedBytes.size(), nullptr, 0);
        signedBytes = std::move(digest);
    } else if ((*sig)[0] != 'E' || (*sig)[1] != 'd') {
        return "an unknown signature algorithm";
    }
    if (crypto_sign_verify_detached(signatureBytes, signedBytes.data(), signedBytes.size(), pk) != 0) {
        return "the file list does not match its signature";
    }
    std::vector<unsigned char> trusted(signatureBytes, signatureBytes + crypto_sign_BYTES);
    const std::string comment = trustedLine.substr(trustedPrefix.size());
    trusted.insert(trusted.end(), comment.begin(), comment.end());
    if (crypto_sign_verify_detached(global->data(), trusted.data(), trusted.size(), pk) != 0) {
        return "the trusted comment does not match its signature";
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> verifyBundleSignature(const std::string& bundle, const std::string& publicKey) {
    if (sodium_init() < 0) {
        return "libsodium cannot start";
    }
    const auto list = readWholeFile(bundle + "/" + codeResourcesPath, 64 << 20);
    const auto signature = readWholeFile(bundle + "/" + codeResourcesSignaturePath, 64 * 1024);
    if (!list || !signature) {
        return "the bundle is not signed";
    }
    if (auto refused = refusedSignature(*list, *signature, publicKey)) {
        return refused;
    }

    std::map<std::string, std::string> listed;
    std::istringstream lines(*list);
    for (std::string line; std::getline(lines, line);) {
        if (line.size() < 67 || line.compare(64, 2, "  ") != 0 ||
            !listed.emplace(line.substr(66), line.substr(0, 64)).second) {
            return "a malformed file list line: " + line;
        }
    }
    std::error_code error;
    std::size_t seen = 0;
    for (fs::recursive_directory_iterator it(bundle, error), end; !error && it != end; it.increment(error)) {
        const std::string relative = it->path().lexically_relative(bundle).string();
        const auto status = it->symlink_status(error);
        if (fs::is_directory(status)) {
            continue;
        }
        if (!fs::is_regular_file(status)) {
            return "not a plain file: " + relative;
        }
        if (relative == codeResourcesPath || relative == codeResourcesSignaturePath) {
            continue;
        }
        const auto entry = listed.find(relative);
        if (entry == listed.end()) {
            return "a file not in the list: " + relative;
        }
        if (sha256Hex(it->path()) != entry->second) {
            return "a file changed after signing: " + relative;
        }
        ++seen;
    }
    if (error) {
        return "cannot read the bundle: " + error.message();
    }
    if (seen != listed.size()) {
        return "a listed file is missing";
    }
    return std::nullopt;
}

} // namespace drovane::desktop
