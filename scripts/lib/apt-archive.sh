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
