# shellcheck shell=bash disable=SC2034
# Sourced by packaging/package and packaging/check-package: what the release
# is called, what goes into each archive and where from.

# The builds the release is made of, as CMakePresets.json names them; ./run
# package makes them.
preset_dir() { cmake -DPRESET="$1" -P cmake/preset_dir.cmake; }
LINUX_BUILD=$(preset_dir release)
WIN32_BUILD=$(preset_dir win32)
WIN64_BUILD=$(preset_dir win64)
AARCH64_BUILD=$(preset_dir aarch64)
# packaging/macos/build's folder: the bundles, and the Linux test hosts made for them.
MACOS_BUILD=build-macos

# The Linux architectures of the release: each has an archive and a Debian
# package of its own, and every archive's VST 3 bundle holds them all.
LINUX_ARCHS=(x86_64 aarch64)
linux_build() { if [ "$1" = aarch64 ]; then echo "$AARCH64_BUILD"; else echo "$LINUX_BUILD"; fi; }
deb_arch() { if [ "$1" = aarch64 ]; then echo arm64; else echo amd64; fi; }
# A binutils program ($2) for architecture $1.
binutils() { if [ "$1" = aarch64 ]; then echo "aarch64-linux-gnu-$2"; else echo "$2"; fi; }
linux_archive() { echo "$RELEASE-linux-$1.tar.gz"; }
deb_file() { echo "${DEB_PACKAGE}_${VERSION}_$(deb_arch "$1").deb"; }

# A Linux archive's modules and their exports; ARCH stands for the architecture.
# shellcheck disable=SC2054
LINUX_MODULES=(vst/multichannel_patcher.so:VSTPluginMain,main,MAIN clap/multichannel_patcher.clap:clap_entry
    vst3/multichannel_patcher.vst3/Contents/ARCH-linux/multichannel_patcher.so:GetPluginFactory,ModuleEntry,ModuleExit
    lv2/multichannel_patcher.lv2/multichannel_patcher.so:lv2_descriptor)
VERSION=$(sed -n 's/^project(multichannel_patcher VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
RELEASE=multichannel_patcher-$VERSION
WINDOWS_ARCHIVE=$RELEASE-windows.zip
MACOS_ARCHIVE=$RELEASE-macos.zip
# The macOS bundles, each with the entry points it exports.
# shellcheck disable=SC2054
MACOS_BUNDLES=(multichannel_patcher.vst3:GetPluginFactory,bundleEntry,bundleExit multichannel_patcher.clap:clap_entry
    multichannel_patcher.vst:VSTPluginMain,main_macho)
DEB_PACKAGE=multichannel-patcher
WINDOWS_SETUP=$RELEASE-windows-setup.exe
# Every file of the release, in the order SHA256SUMS lists them.
DIST_FILES=()
for arch in "${LINUX_ARCHS[@]}"; do DIST_FILES+=("$(linux_archive "$arch")"); done
DIST_FILES+=("$WINDOWS_ARCHIVE" "$MACOS_ARCHIVE")
for arch in "${LINUX_ARCHS[@]}"; do DIST_FILES+=("$(deb_file "$arch")"); done
DIST_FILES+=("$WINDOWS_SETUP")
# Where the setup program puts each plug-in of the Windows archive, under C:\
# (the 64-bit ones by default, the 32-bit ones on request).
WINDOWS_SETUP_ITEMS=("64-bit/vst/multichannel_patcher.dll:Program Files/Common Files/VST2"
    "64-bit/vst3/multichannel_patcher.vst3:Program Files/Common Files/VST3"
    "64-bit/clap/multichannel_patcher.clap:Program Files/Common Files/CLAP"
    "32-bit/vst/multichannel_patcher.dll:Program Files (x86)/Common Files/VST2"
    "32-bit/vst3/multichannel_patcher.vst3:Program Files (x86)/Common Files/VST3"
    "32-bit/clap/multichannel_patcher.clap:Program Files (x86)/Common Files/CLAP")
UNINSTALL_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Brindlefox multichannel_patcher'
# The Linux archive's format folders: the Debian package installs each one's
# content into /usr/lib/<folder>/, where hosts look without configuration.
LINUX_FORMATS=(vst vst3 clap lv2)
