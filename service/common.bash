# Helpers shared by service/start and service/stop (sourced, not run).

die() {
    echo "$prog: $*" >&2
    exit 1
}

# Splits ADDRESS:PORT (default 127.0.0.1:80) into $addr and $port. IPv4 addresses only.
parse_listen() {
    local listen=${1:-127.0.0.1:80}
    local octet='(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])'
    [[ $listen =~ ^($octet\.$octet\.$octet\.$octet):([0-9]{1,5})$ ]] ||
        die "expected ADDRESS:PORT with an IPv4 address, e.g. 127.0.0.1:8080, got '$listen'"
    addr=${listen%:*}
    port=$((10#${listen##*:}))
    ((port <= 65535)) || die "port $port is out of range"
}

# The directory that holds one instance's configuration, pages, pid file and logs:
# $CY_SERVICE_DIR, or one per address and port under /tmp.
runtime_dir() {
    local dir=${CY_SERVICE_DIR:-/tmp/chengyu-service-$1-$2}
    [[ $dir == /* ]] || dir=$PWD/$dir
    # The path goes into nginx.conf unquoted, so keep it to plain characters.
    [[ $dir =~ ^/[A-Za-z0-9._/-]+$ ]] ||
        die "runtime directory '$dir' may only hold letters, digits and . _ / -"
    printf '%s\n' "${dir%/}"
}

# Refuses a runtime directory that someone else could have planted (it may lie in /tmp).
check_owned_dir() {
    [[ ! -L $1 ]] || die "$1 is a symbolic link; refusing to use it"
    [[ -d $1 && -O $1 ]] || die "$1 is not a directory owned by $(id -un)"
}

# True when something accepts TCP connections on $1:$2.
port_answers() {
    local host=$1
    [[ $host != 0.0.0.0 ]] || host=127.0.0.1
    timeout 2 bash -c 'exec 3<>"/dev/tcp/$0/$1"' "$host" "$2" 2>/dev/null
}

# Prints the pid of the nginx master of the instance in runtime directory $1, if it runs.
running_pid() {
    local pid
    [[ -r $1/nginx.pid ]] || return 1
    pid=$(<"$1/nginx.pid")
    [[ $pid =~ ^[0-9]+$ ]] || return 1
    # A stale pid file may name a process that has nothing to do with us: check its command line.
    [[ -r /proc/$pid/cmdline ]] || return 1
    tr '\0' ' ' <"/proc/$pid/cmdline" | grep -qF -- "$1/nginx.conf" || return 1
    echo "$pid"
}
