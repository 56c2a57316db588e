#pragma once

// Releases made at test time: throwaway minisign keys, small bundles, bundles signed as
// tools/sign-release signs them, and archives no honest release tool would make.

#include "desktop/MediaFixtures.h"

#include <cstdint>
#include <fstream>
#include <optional>
#include <string>

namespace drovane::fixtures {

// A throwaway minisign key pair, `stem`.key (no password) and `stem`.pub; its public key in
// base64, or empty when minisign failed.
inline std::string makeKeyPair(const std::string& stem) {
    if (!run({"minisign", "-G", "-W", "-p", stem + ".pub", "-s", stem + ".key"})) {
        return {};
    }
    std::ifstream file(stem + ".pub");
    std::string comment, key;
    std::getline(file, comment);
    std::getline(file, key);
    return key;
}

// Signs the "Drovane.app" folder `bundle` with the secret key at `key` and zips it as `zip`.
inline bool signRelease(const std::string& bundle, const std::string& key, const std::string& zip) {
    return run({SIGN_RELEASE_TOOL, bundle, key, zip});
}

// How zipRelease bends an archive.
struct ZipTwist {
    // The name the bundle's folder has in the archive.
    std::string topLevel = "Drovane.app";
    // One more entry, a file of this name, when not empty.
    std::string extraEntry;
    // The size the headers announce for each file of more than 1 MiB.
    std::optional<std::uint64_t> announcedSize;

    static ZipTwist namedAs(std::string name) { return {std::move(name), {}, {}}; }
    static ZipTwist withEntry(std::string name) { return {"Drovane.app", std::move(name), {}}; }
    static ZipTwist announcing(std::optional<std::uint64_t> size) { return {"Drovane.app", {}, size}; }
};

// Zips the folder `bundle` as `zip` at the archive's top level, symbolic links as links (where a
// release tool would follow them), bent as `twist` says.
inline bool zipRelease(const std::string& bundle, const std::string& zip, const ZipTwist& twist = {}) {
    const std::string script = R"(
import os, struct, sys, zipfile
bundle, out, top, extra, announced = sys.argv[1:6]
with zipfile.ZipFile(out, 'w', zipfile.ZIP_DEFLATED) as z:
    for folder, folders, files in os.walk(bundle):
        for name in sorted(folders + files):
            path = os.path.join(folder, name)
            inside = os.path.join(top, os.path.relpath(path, bundle))
            if os.path.islink(path):
                link = zipfile.ZipInfo(inside)
                link.external_attr = 0o120777 << 16
                z.writestr(link, os.readlink(path))
            elif os.path.isfile(path):
                z.write(path, inside)
    if extra:
        z.writestr(extra, 'x')
if announced:
    data = bytearray(open(out, 'rb').read())
    entry = struct.unpack_from('<I', data, data.rindex(b'PK\x05\x06') + 16)[0]
    while data[entry:entry + 4] == b'PK\x01\x02':
        if struct.unpack_from('<I', data, entry + 24)[0] > 1 << 20:
            local = struct.unpack_from('<I', data, entry + 42)[0]
            struct.pack_into('<I', data, entry + 24, int(announced))
            struct.pack_into('<I', data, local + 22, int(announced))
        entry += 46 + sum(struct.unpack_from('<HHH', data, entry + 28))
    open(out, 'wb').write(data)
)";
    return run({"python3", "-c", script, bundle, zip, twist.topLevel, twist.extraEntry,
                twist.announcedSize ? std::to_string(*twist.announcedSize) : ""});
}

} // namespace drovane::fixtures
