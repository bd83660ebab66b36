#!/usr/bin/env python3
"""A macOS plug-in bundle as a Mac and its hosts see it, read without Apple's tools.

    macho_check.py BUNDLE VERSION EXPORT...            check the bundle
    macho_check.py --faults BUNDLE VERSION EXPORT...   check that the checks catch broken copies

The bundle's executable must be one universal file of an arm64 and an x86_64
slice, each an MH_BUNDLE for macOS 11 that exports exactly EXPORT..., links
nothing but libSystem and carries an ad-hoc signature whose every page hash
holds. Info.plist and PkgInfo must name that executable, the version and
the oldest system. --faults breaks copies in memory (a flipped byte in each
slice's code, a slice missing, another minimum system) and fails unless the
checks fail on every one.
"""
import hashlib
import json
import os
import plistlib
import struct
import sys

MIN_MACOS = (11, 0)
LIBSYSTEM = "/usr/lib/libSystem.B.dylib"
CPU_ARM64, CPU_X86_64 = 0x0100000C, 0x01000007
ARCHES = {CPU_ARM64: "arm64", CPU_X86_64: "x86_64"}
MH_MAGIC_64, FAT_MAGIC = 0xFEEDFACF, 0xCAFEBABE
MH_BUNDLE = 8
MH_NOUNDEFS, MH_DYLDLINK, MH_TWOLEVEL = 0x1, 0x4, 0x80
LC_SEGMENT_64, LC_LOAD_DYLIB, LC_CODE_SIGNATURE = 0x19, 0xC, 0x1D
LC_DYLD_INFO_ONLY, LC_BUILD_VERSION, LC_DYLD_EXPORTS_TRIE = 0x80000022, 0x32, 0x80000033
LC_REQ_DYLD = 0x80000000
LOAD_KINDS = {0xC, 0xD, 0x18 | LC_REQ_DYLD, 0x1F | LC_REQ_DYLD, 0x23 | LC_REQ_DYLD}
PLATFORM_MACOS = 1
CS_SUPERBLOB, CS_CODEDIRECTORY = 0xFADE0CC0, 0xFADE0C02
CS_ADHOC = 0x2
CS_HASHES = {1: hashlib.sha1, 2: hashlib.sha256}


def slices(data):
    """(cpu type, offset, size) of each architecture in a universal file."""
    if len(data) < 8 or struct.unpack_from(">I", data)[0] != FAT_MAGIC:
        raise ValueError("not a universal file")
    count = struct.unpack_from(">I", data, 4)[0]
    found = []
    for k in range(count):
        cpu, _, offset, size, _ = struct.unpack_from(">iiIII", data, 8 + 20 * k)
        found.append((cpu & 0xFFFFFFFF, offset, size))
    return found


def load_commands(image):
    magic, _, _, filetype, ncmds, _, flags, _ = struct.unpack_from("<IiiIIIII", image)
    if magic != MH_MAGIC_64:
        raise ValueError("not a 64-bit Mach-O file")
    commands, at = [], 32
    for _ in range(ncmds):
        cmd, size = struct.unpack_from("<II", image, at)
        commands.append((cmd, at, size))
        at += size
    return filetype, flags, commands


def export_names(image, offset, size):
    """Every name in the export trie: edges spell names, terminal nodes end them."""
    trie = image[offset:offset + size]
    names, pending = [], [(0, b"")]

    def uleb(at):
        value, shift = 0, 0
        while True:
            byte = trie[at]
            at += 1
            value |= (byte & 0x7F) << shift
            shift += 7
            if byte < 0x80:
                return value, at

    while pending:
        node, prefix = pending.pop()
        terminal, at = uleb(node)
        if terminal:
            names.append(prefix.decode())
        at += terminal
        children = trie[at]
        at += 1
        for _ in range(children):
            end = trie.index(b"\0", at)
            label = trie[at:end]
            child, at = uleb(end + 1)
            pending.append((child, prefix + label))
    return sorted(names)


def signature_faults(image, offset, size):
    blob = image[offset:offset + size]
    magic, _, count = struct.unpack_from(">III", blob)
    if magic != CS_SUPERBLOB:
        return ["the signature is no signature blob"]
    directories = []
    for k in range(count):
        _, at = struct.unpack_from(">II", blob, 12 + 8 * k)
        if struct.unpack_from(">I", blob, at)[0] == CS_CODEDIRECTORY:
            directories.append(at)
    if not directories:
        return ["the signature has no code directory"]
    faults = []
    for at in directories:
        (_, _, _, flags, hash_offset, _, _, code_slots, code_limit, hash_size, hash_type, _,
         page_log) = struct.unpack_from(">IIIIIIIIIBBBB", blob, at)
        if not flags & CS_ADHOC:
            faults.append("the signature is not ad hoc")
        if hash_type not in CS_HASHES or CS_HASHES[hash_type]().digest_size != hash_size:
            faults.append(f"unknown signature hash {hash_type}")
            continue
        if code_limit != offset:
            faults.append(f"the signature covers {code_limit} bytes, not the {offset} before it")
        page = 1 << page_log
        if code_slots != (code_limit + page - 1) // page:
            faults.append(f"{code_slots} page hashes for {code_limit} bytes")
            continue
        for slot in range(code_slots):
            expected = blob[at + hash_offset + slot * hash_size:at + hash_offset + (slot + 1) * hash_size]
            data = image[slot * page:min((slot + 1) * page, code_limit)]
            if CS_HASHES[hash_type](data).digest() != expected:
                faults.append(f"page {slot} does not match its signature")
    return faults


def slice_faults(image, exports):
    filetype, flags, commands = load_commands(image)
    faults = []
    if filetype != MH_BUNDLE:
        faults.append(f"file type {filetype}, not MH_BUNDLE")
    wanted = MH_NOUNDEFS | MH_DYLDLINK | MH_TWOLEVEL
    if flags & wanted != wanted:
        faults.append(f"flags {flags:#x} lack NOUNDEFS, DYLDLINK or TWOLEVEL")
    libraries, trie, signature, minos = [], None, None, None
    for cmd, at, _ in commands:
        if cmd in LOAD_KINDS:
            name_at = struct.unpack_from("<I", image, at + 8)[0]
            libraries.append(image[at + name_at:image.index(b"\0", at + name_at)].decode())
        elif cmd == LC_DYLD_INFO_ONLY:
            trie = struct.unpack_from("<II", image, at + 40)
        elif cmd == LC_DYLD_EXPORTS_TRIE:
            trie = struct.unpack_from("<II", image, at + 8)
        elif cmd == LC_CODE_SIGNATURE:
            signature = struct.unpack_from("<II", image, at + 8)
        elif cmd == LC_BUILD_VERSION:
            platform, version = struct.unpack_from("<II", image, at + 8)
            minos = (platform, version >> 16, (version >> 8) & 0xFF)
    if libraries != [LIBSYSTEM]:
        faults.append(f"links {libraries}, not only {LIBSYSTEM}")
    if minos != (PLATFORM_MACOS, *MIN_MACOS):
        faults.append(f"platform and minimum system {minos}, not macOS {MIN_MACOS}")
    found = export_names(image, *trie) if trie else []
    if found != sorted("_" + name for name in exports):
        faults.append(f"exports {found}, not exactly {sorted(exports)}")
    if signature:
        faults += signature_faults(image, *signature)
    else:
        faults.append("no code signature")
    return faults


def executable_faults(data, exports):
    try:
        found = slices(data)
    except ValueError as error:
        return [str(error)]
    faults = []
    arches = sorted(ARCHES.get(cpu, hex(cpu)) for cpu, _, _ in found)
    if arches != sorted(ARCHES.values()):
        faults.append(f"architectures {arches}, not arm64 and x86_64")
    for cpu, offset, size in found:
        image = data[offset:offset + size]
        faults += [f"{ARCHES.get(cpu, hex(cpu))}: {fault}" for fault in slice_faults(image, exports)]
    return faults


def bundle_faults(bundle, version):
    contents = os.path.join(bundle, "Contents")
    name = os.path.splitext(os.path.basename(bundle))[0]
    faults = []
    with open(os.path.join(contents, "Info.plist"), "rb") as file:
        info = plistlib.load(file)
    expected = {
        "CFBundleExecutable": name,
        "CFBundlePackageType": "BNDL",
        "CFBundleShortVersionString": version,
        "CFBundleVersion": version,
        "LSMinimumSystemVersion": "%d.%d" % MIN_MACOS,
    }
    for key, value in expected.items():
        if info.get(key) != value:
            faults.append(f"Info.plist: {key} is {info.get(key)!r}, not {value!r}")
    if not info.get("CFBundleIdentifier", "").startswith("com.brindlefox."):
        faults.append(f"Info.plist: bundle identifier {info.get('CFBundleIdentifier')!r}")
    with open(os.path.join(contents, "PkgInfo"), "rb") as file:
        if file.read() != b"BNDL????":
            faults.append("PkgInfo is not BNDL????")
    if bundle.endswith(".vst3"):
        with open(os.path.join(contents, "Resources", "moduleinfo.json"), encoding="utf-8") as file:
            if json.load(file).get("Version") != version:
                faults.append("moduleinfo.json names another version")
    return faults


def broken_copies(data):
    """(what was broken, the broken file) for each fault the checks must see."""
    found = slices(data)
    for cpu, offset, size in found:
        flipped = bytearray(data)
        flipped[offset + size // 4] ^= 0x01
        yield f"a flipped byte in the {ARCHES[cpu]} code", bytes(flipped)
    cpu, offset, size = found[0]
    yield "only one architecture", data[offset:offset + size]
    image = data[offset:offset + size]
    _, _, commands = load_commands(image)
    for cmd, at, _ in commands:
        if cmd == LC_BUILD_VERSION:
            newer = bytearray(data)
            struct.pack_into("<I", newer, offset + at + 12, 12 << 16)
            yield "macOS 12 as the oldest system", bytes(newer)
    yield "another export list", data


def main(arguments):
    faults_mode = arguments[:1] == ["--faults"]
    if faults_mode:
        arguments = arguments[1:]
    if len(arguments) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    bundle, version, exports = os.path.normpath(arguments[0]), arguments[1], arguments[2:]
    executable = os.path.join(bundle, "Contents", "MacOS", os.path.splitext(os.path.basename(bundle))[0])
    with open(executable, "rb") as file:
        data = file.read()
    if faults_mode:
        missed = []
        for what, broken in broken_copies(data):
            names = exports + ["extra"] if what == "another export list" else exports
            if not executable_faults(broken, names):
                missed.append(what)
            else:
                print(f"{bundle}: {what}: caught")
        for what in missed:
            print(f"{bundle}: {what}: not caught", file=sys.stderr)
        return 1 if missed else 0
    faults = executable_faults(data, exports) + bundle_faults(bundle, version)
    for fault in faults:
        print(f"{bundle}: {fault}", file=sys.stderr)
    if not faults:
        print(f"{bundle}: arm64 and x86_64 bundles for macOS {'%d.%d' % MIN_MACOS}, exports {', '.join(exports)}, "
              f"links {LIBSYSTEM}, every page signed")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
