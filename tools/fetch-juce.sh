#!/usr/bin/env bash
# Obtains JUCE 8.0.6 from Debian's source package `juce` 8.0.6+ds-2 (trixie) with the
# machine's own package tools, from the Debian mirror the machine's apt sources already
# name. The system's apt configuration is never touched: a private sources list and
# private state/cache folders live under .cache/apt. After unpacking, the project's own
# fixes to the framework (tools/juce-patches/*.patch) are applied. A second run finds the
# unpacked tree and downloads nothing. Prints the path of the unpacked JUCE tree on stdout.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cache="$root/.cache"
version="8.0.6+ds-2"
tree="$cache/juce-8.0.6+ds"

patches=("$root"/tools/juce-patches/*.patch)
stamp=$(cat "${patches[@]}" | sha256sum | cut -d' ' -f1)

if [ -f "$tree/CMakeLists.txt" ] && [ "$(cat "$tree/.kestrune-unpacked" 2>/dev/null)" = "$stamp" ]; then
  echo "$tree"
  exit 0
fi

# The mirror URI: first "URIs:" of a deb822 file naming debian (not -security), or the
# first plain "deb" line of a one-line-style list.
mirror=""
for f in /etc/apt/sources.list.d/*.sources; do
  [ -f "$f" ] || continue
  while read -r key value _; do
    if [ "$key" = "URIs:" ] && [[ "$value" != *security* ]] && [[ "$value" == */debian ]]; then
      mirror="$value"; break 2
    fi
  done < "$f"
done
if [ -z "$mirror" ]; then
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    mirror=$(awk '$1=="deb" && $0 !~ /security/ { for (i=2;i<=NF;i++) if ($i !~ /^\[/ && $i ~ /:\/\//) { print $i; exit } }' "$f")
    [ -n "$mirror" ] && break
  done
fi
if [ -z "$mirror" ]; then
  echo "fetch-juce: no Debian mirror found in the apt sources" >&2
  exit 1
fi

apt_dir="$cache/apt"
mkdir -p "$apt_dir/state/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/src"
echo "deb-src $mirror trixie main" > "$apt_dir/sources.list"
: > "$apt_dir/preferences"
opts=(-o "Dir::Etc::SourceList=$apt_dir/sources.list"
      -o "Dir::Etc::SourceParts=-"
      -o "Dir::Etc::Preferences=$apt_dir/preferences"
      -o "Dir::Etc::PreferencesParts=-"
      -o "Dir::State=$apt_dir/state"
      -o "Dir::State::status=/var/lib/dpkg/status"
      -o "Dir::Cache=$apt_dir/cache"
      -o "APT::Sandbox::User=root")

cd "$apt_dir/src"
declare -A sums=(
  [juce_8.0.6+ds-2.dsc]=875f60aa9810331de2b41dcc3b2d3af86dbcb8bbb4571b30d26e34cc3f96db58
  [juce_8.0.6+ds.orig.tar.xz]=4126ec8066866a1ccbc9cdd2beac712fd51e55ac7f24d8fdc45077b187a358ef
  [juce_8.0.6+ds-2.debian.tar.xz]=98f781365d85d35639b5c47416b769c3d68ad9858c8559fc6c80bb95710976a1
)
have_all=1
for f in "${!sums[@]}"; do [ -f "$f" ] || have_all=0; done
if [ "$have_all" = 0 ]; then
  echo "fetch-juce: downloading Debian source package juce $version from $mirror (trixie)" >&2
  apt-get "${opts[@]}" -qq update >&2
  apt-get "${opts[@]}" -q source --download-only "juce=$version" >&2
fi
for f in "${!sums[@]}"; do
  echo "${sums[$f]}  $f" | sha256sum -c --quiet - >&2 || { echo "fetch-juce: checksum mismatch for $f" >&2; exit 1; }
done

rm -rf "$tree"
dpkg-source --no-check -x juce_8.0.6+ds-2.dsc "$tree" >&2
for p in "${patches[@]}"; do
  echo "fetch-juce: applying $(basename "$p")" >&2
  patch -d "$tree" -p1 -s < "$p"
done
echo "$stamp" > "$tree/.kestrune-unpacked"
echo "$tree"
