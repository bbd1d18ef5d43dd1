#!/usr/bin/env bash
# scripts/standin (what scripts/run uses) as an ordinary user on the real address 127.0.0.1:80:
#   - without sudo rights it says in one line what to run, exits 0 and starts nothing;
#   - with passwordless sudo it starts the stand-in through sudo, nginx's workers run as that
#     user, a lookup gets its filing page, and stop frees the port again.
# Needs root to create the test user and its sudoers entry (both removed at the end when this
# test created them). Exit 77 (skipped) when not root or when port 80 is already taken.
# Usage: port80_test.sh SOURCE_DIR
set -uo pipefail
export LC_ALL=C

src=${1:?usage: port80_test.sh SOURCE_DIR}
user=cy-port80-test
sudoers=/etc/sudoers.d/$user
failures=0
created_user=0
started=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
answers() { timeout 2 bash -c 'exec 3<>/dev/tcp/127.0.0.1/80' 2>/dev/null; }
as_user() { runuser -u "$user" -- env -C "$src" "$@"; }

[[ $(id -u) == 0 ]] || { echo "SKIP: needs root to create a test user"; exit 77; }
if answers; then
    echo "SKIP: 127.0.0.1:80 is already taken"
    exit 77
fi
command -v sudo >/dev/null || { echo "FAIL: sudo is not installed (scripts/setup)" >&2; exit 1; }

cleanup() {
    ((started)) && as_user scripts/standin stop >/dev/null 2>&1
    rm -f "$sudoers"
    ((created_user)) && userdel "$user" 2>/dev/null
}
trap cleanup EXIT
if ! id -u "$user" >/dev/null 2>&1; then
    useradd --no-create-home --shell /bin/bash "$user" || { echo "FAIL: useradd" >&2; exit 1; }
    created_user=1
fi
rm -f "$sudoers"

# --- no sudo rights: one line telling what to run, and nothing listens ---------------------------
out=$(as_user scripts/standin start 2>&1)
rc=$?
((rc == 0)) || fail "start without sudo exits $rc"
[[ $(wc -l <<<"$out") == 1 && $out == *"sudo "*"scripts/standin start"* ]] ||
    fail "start without sudo does not say in one line what to run: '$out'"
answers && fail "something listens on port 80 after a start without sudo"

# --- passwordless sudo: the service starts, workers as the user --------------------------------
echo "$user ALL=(ALL) NOPASSWD: ALL" >"$sudoers"
chmod 0440 "$sudoers"
visudo -cqf "$sudoers" || fail "sudoers entry rejected"
out=$(as_user scripts/standin start 2>&1)
rc=$?
started=1
((rc == 0)) || fail "start with sudo exits $rc: $out"
[[ $out == *"listening on http://127.0.0.1:80/"* ]] || fail "start with sudo printed '$out'"

page=$(curl -s --max-time 10 'http://127.0.0.1/icp/details.asp?CertType=0&Domain=example.com' |
    iconv -f GBK -t UTF-8)
[[ $page == *'<span class="fontred">京ICP备00000001号-1</span>'* ]] ||
    fail "example.com's filing page not served on port 80: ${page:0:200}"

pidfile=/tmp/chengyu-service-127.0.0.1-80/nginx.pid
if [[ -r $pidfile ]]; then
    master=$(<"$pidfile")
    workers=$(ps -o user= --ppid "$master" | sort -u | tr -d ' ')
    [[ $workers == "$user" ]] || fail "nginx workers run as '$workers', not $user"
else
    fail "no pid file $pidfile"
fi

out=$(as_user scripts/standin stop 2>&1) || fail "stop with sudo failed: $out"
started=0
answers && fail "port 80 still answers after stop"

if ((failures)); then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "all checks passed"
