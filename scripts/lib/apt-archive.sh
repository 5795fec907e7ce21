# shellcheck shell=bash
# Sourced by scripts that fetch from Debian through a private apt configuration.
# The archive addresses come from this machine's own apt sources, so the
# scripts work on any mirror and name none.

# Prints "URI SUITE" for every binary or source suite the machine's apt sources
# list (one-line .list files and deb822 .sources files; disabled files ignored).
apt_source_suites() {
  local f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    # deb [options] URI SUITE COMPONENTS...
    sed -e 's/#.*//' -e 's/\[[^]]*\]//' "$f" |
      awk '$1 == "deb" || $1 == "deb-src" { print $2, $3 }'
  done
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk '
      function flush() {
        if (enabled && uris != "" && suites != "") {
          n = split(uris, u, " "); m = split(suites, s, " ")
          for (i = 1; i <= n; i++) for (j = 1; j <= m; j++) print u[i], s[j]
        }
        uris = ""; suites = ""; enabled = 1
      }
      BEGIN { enabled = 1 }
      /^[ \t]*#/ { next }
      /^[ \t]*$/ { flush(); next }
      tolower($1) == "uris:" { $1 = ""; uris = $0 }
      tolower($1) == "suites:" { $1 = ""; suites = $0 }
      tolower($1) == "enabled:" { enabled = (tolower($2) != "no") }
      END { flush() }
    ' "$f"
  done
}

# The URI that serves SUITE (for example "bookworm" or "bookworm-security"),
# the first one the machine lists; fails when none does.
apt_archive_for() {
  local uri
  uri=$(apt_source_suites | awk -v s="$1" '$2 == s { print $1; exit }')
  [ -n "$uri" ] || { echo "no apt source on this machine serves '$1'" >&2; return 1; }
  printf '%s\n' "${uri%/}"
}

# apt_fetch_source PACKAGE FOLDER LOG: unpacks Debian's source of PACKAGE, for
# the release this machine runs with its updates, into FOLDER/src through a
# private apt configuration in FOLDER/apt (the system's apt setup stays
# untouched). Prints the unpacked tree's path; its .dsc lies beside it.
apt_fetch_source() {
  local package=$1 folder=$2 log=$3 suite archive extra uri apt_dir src
  suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  [ -n "$suite" ] || { echo "no Debian release name in /etc/os-release" >&2; return 1; }
  archive=$(apt_archive_for "$suite") || return 1
  apt_dir=$folder/apt
  mkdir -p "$apt_dir"/lists/partial "$apt_dir"/cache/archives/partial "$apt_dir"/etc "$apt_dir"/state
  local keyring=/usr/share/keyrings/debian-archive-keyring.gpg
  {
    echo "deb-src [signed-by=$keyring] $archive $suite main"
    for extra in "$suite-updates" "$suite-security"; do
      if uri=$(apt_archive_for "$extra" 2>/dev/null); then
        echo "deb-src [signed-by=$keyring] $uri $extra main"
      fi
    done
  } >"$apt_dir/etc/sources.list"
  local apt_private=(
    -o Dir::Etc::SourceList="$apt_dir/etc/sources.list"
    -o Dir::Etc::SourceParts=/nonexistent
    -o Dir::State="$apt_dir/state"
    -o Dir::State::Lists="$apt_dir/lists"
    -o Dir::State::status=/var/lib/dpkg/status
    -o Dir::Cache="$apt_dir/cache"
    -o APT::Get::List-Cleanup=0
  )
  apt-get "${apt_private[@]}" update >>"$log" 2>&1 || { echo "apt-get update failed" >&2; return 1; }
  src=$folder/src
  rm -rf "$src"
  mkdir -p "$src"
  # apt downloads as its own unprivileged user when run as root.
  if [ "$(id -u)" -eq 0 ] && id _apt >/dev/null 2>&1; then chown _apt "$src"; fi
  # The newest source first; the release's own when an update's is not served.
  (cd "$src" && { apt-get "${apt_private[@]}" source "$package" >>"$log" 2>&1 ||
    apt-get "${apt_private[@]}" source "$package/$suite" >>"$log" 2>&1; }) ||
    { echo "apt-get source $package failed" >&2; return 1; }
  find "$src" -mindepth 1 -maxdepth 1 -type d -name "$package-*" | head -1 | grep . ||
    { echo "no $package source tree was unpacked" >&2; return 1; }
}
