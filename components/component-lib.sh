# Shared by the local component installers: registers a component's adapter in the machine
# registry file ($XDG_CONFIG_HOME/verrowave/machine.ini), section
# "[Software\Verrowave\Components\<name>]", value "Path". The file is rewritten under a
# flock on "machine.ini.lock" and replaced atomically, like the program's own writes.

# fail MESSAGE: reports on standard error and ends the installer.
fail() {
    echo "$(basename "$0"): $*" >&2
    exit 1
}

# register_component NAME PATH
register_component() {
    name=$1
    value=$2
    case "$value" in *"
"*) fail "path with a line break: $value" ;; esac
    conf=${XDG_CONFIG_HOME:-}
    [ -n "$conf" ] || conf="${HOME:-/}/.config"
    dir="$conf/verrowave"
    ini="$dir/machine.ini"
    (umask 077 && mkdir -p "$dir") || return 1
    escaped=$(printf '%s' "$value" | sed 's/\\/\\\\/g')
    section="Software\\Verrowave\\Components\\$name"
    (
        flock 9 || exit 1
        # A linked registry file (dotfiles) is written through the link, keeping its mode.
        target=$ini
        [ -L "$ini" ] && target=$(readlink -f -- "$ini")
        [ -n "$target" ] || exit 1
        tmp="$target.tmp.$$"
        src="$target"
        [ -f "$src" ] || src=/dev/null
        (umask 077 && SECT="$section" VAL="$escaped" awk '
            function trim(s) { gsub(/^[ \t]+|[ \t]+$/, "", s); return s }
            function ispath(line,   eq) {
                eq = index(line, "=")
                return eq > 0 && tolower(trim(substr(line, 1, eq - 1))) == "path"
            }
            BEGIN { want = tolower(ENVIRON["SECT"]); insec = 0; done = 0 }
            {
                line = $0; sub(/\r$/, "", line); t = trim(line)
                if (t ~ /^\[.*\]$/) {
                    if (insec && !done) { print "Path=" ENVIRON["VAL"]; done = 1 }
                    insec = (tolower(substr(t, 2, length(t) - 2)) == want)
                    print line; next
                }
                if (insec && ispath(line)) {
                    if (!done) { print "Path=" ENVIRON["VAL"]; done = 1 }
                    next
                }
                print line
            }
            END {
                if (insec && !done) { print "Path=" ENVIRON["VAL"]; done = 1 }
                if (!done) { print "[" ENVIRON["SECT"] "]"; print "Path=" ENVIRON["VAL"]; print "" }
            }' "$src" >"$tmp") || { rm -f "$tmp"; exit 1; }
        [ -f "$target" ] && chmod --reference="$target" "$tmp" 2>/dev/null
        mv -f "$tmp" "$target" || { rm -f "$tmp"; exit 1; }
    ) 9>>"$ini.lock" || return 1
}

# install_component NAME TOOL PACKAGE: registers the adapter NAME beside this installer when
# TOOL is on PATH.
install_component() {
    name=$1
    tool=$2
    package=$3
    here=$(cd "$(dirname "$0")" && pwd -P) || fail "cannot find the installer's folder"
    adapter="$here/$name"
    command -v "$tool" >/dev/null 2>&1 ||
        fail "\"$tool\" is not installed; install the Debian package \"$package\" (apt install $package), then try again"
    [ -f "$adapter" ] && [ -x "$adapter" ] || fail "the adapter $adapter is missing"
    # Status 3: the adapter works but the registry file cannot be written (read-only
    # configuration); the program then uses the adapter unregistered.
    register_component "$name" "$adapter" 2>/dev/null || {
        echo "$(basename "$0"): cannot register \"$name\" in the configuration folder; $adapter works unregistered" >&2
        exit 3
    }
}

# install_library NAME: registers the library NAME built with the program and placed beside
# this installer (its own libraries are the program's, so it loads where the program runs).
install_library() {
    name=$1
    here=$(cd "$(dirname "$0")" && pwd -P) || fail "cannot find the installer's folder"
    library="$here/$name"
    [ -f "$library" ] && [ -r "$library" ] || fail "the library $library is missing"
    register_component "$name" "$library" 2>/dev/null || {
        echo "$(basename "$0"): cannot register \"$name\" in the configuration folder; $library works unregistered" >&2
        exit 3
    }
}
