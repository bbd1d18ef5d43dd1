#!/usr/bin/env bash
# End-to-end check of the stand-in lookup service: starts it on a free port, talks raw HTTP/1.1
# to it the way the program does (bash /dev/tcp, the program's exact request headers, domain
# bytes unencoded), checks every demo record's page byte for byte, then stops it.
# Usage: service_test.sh SERVICE_DIR
set -uo pipefail
export LC_ALL=C

service=${1:?usage: service_test.sh SERVICE_DIR}
work=$(mktemp -d /tmp/cy-service-test.XXXXXX)
export CY_SERVICE_DIR=$work/rt
failures=0
port=

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
gbk() { printf '%s' "$1" | iconv -f UTF-8 -t GBK; }

cleanup() {
    [[ -z $port ]] || "$service/stop" "127.0.0.1:$port" >/dev/null 2>&1
    rm -rf "$work"
}
trap cleanup EXIT
trap "" PIPE # a closed connection must fail a check, not kill the script

user_agent='Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 5.1; .NET CLR 2.0.50727; .NET CLR 3.0.04506.30; CIBA; MAXTHON 2.0)'

# Sends one GET for TARGET on fd 3 with exactly the program's request head, in one write as the
# program does (bash's printf would write line by line; dd collects the whole head first).
send_get() {
    local head
    printf -v head 'GET %s HTTP/1.1\r\nContent-Type: text/html\r\nHost: 127.0.0.1:%s\r\nAccept: text/html, */*\r\nUser-Agent: %s\r\n\r\n' \
        "$1" "$port" "$user_agent"
    printf '%s' "$head" | dd bs=1M iflag=fullblock status=none >&3 2>/dev/null ||
        { fail "cannot send request for $1"; return 1; }
}

# Reads one response from fd 3: sets status, ctype, connection; the body goes to $work/body.
read_response() {
    local line len=
    status='' ctype='' connection=''
    : >"$work/body"
    IFS= read -r -t 5 line <&3 || { fail "no status line"; return 1; }
    line=${line%$'\r'}
    status=$(cut -d' ' -f2 <<<"$line")
    while IFS= read -r -t 5 line <&3; do
        line=${line%$'\r'}
        [[ -n $line ]] || break
        case ${line,,} in
        content-length:*) len=${line#*: } ;;
        content-type:*) ctype=${line#*: } ;;
        connection:*) connection=${line#*: } ;;
        esac
    done
    [[ $len =~ ^[0-9]+$ ]] || { fail "response without Content-Length"; return 1; }
    timeout 5 head -c "$len" <&3 >"$work/body"
    [[ $(stat -c %s "$work/body") == "$len" ]] || fail "short body: $(stat -c %s "$work/body") of $len bytes"
}

lookup() { # DOMAIN-BYTES: one lookup on the open connection
    send_get "/icp/details.asp?CertType=0&Domain=$1" && read_response
}

open_connection() { exec 3<>"/dev/tcp/127.0.0.1/$port"; }

# --- start, and start again -------------------------------------------------------------------
out=$("$service/start" 127.0.0.1:0) || { echo "FAIL: service/start failed: $out" >&2; exit 1; }
[[ $out =~ http://127\.0\.0\.1:([0-9]+)/ ]] || { echo "FAIL: no address in '$out'" >&2; exit 1; }
port=${BASH_REMATCH[1]}
echo "service on port $port"

again=$("$service/start" "127.0.0.1:$port") || fail "second start of the same instance failed"
[[ $again == *"already running"* ]] || fail "second start did not report the running instance: $again"
err=$(CY_SERVICE_DIR=$work/other "$service/start" "127.0.0.1:$port" 2>&1)
rc=$?
[[ $rc == 3 && $err == *"already in use"* ]] || fail "start on a taken port: rc $rc, '$err'"
[[ ! -e $work/other ]] || fail "failed start left its runtime directory behind"

# --- every demo record, all over one keep-alive connection ----------------------------------------
start_marker=$(gbk '备案/许可证号：</label><span class="fontred">')
sponsor_label=$(gbk '主办单位名称：</label><span class="fontred">')
date_label=$(gbk '审核通过时间：</label><span class="fontred">')
end_marker='</span></div>'
declare -A number_of

open_connection
records=0
while IFS=$'\t' read -r domain number sponsor date; do
    [[ -z $domain || $domain == '#'* ]] && continue
    records=$((records + 1))
    d=$(gbk "$domain") n=$(gbk "$number") s=$(gbk "$sponsor")
    number_of[$domain]=$n
    lookup "$d" || break
    [[ $status == 200 ]] || fail "$domain: status $status"
    [[ $ctype == 'text/html; charset=gb2312' ]] || fail "$domain: Content-Type '$ctype'"
    [[ ${connection,,} != close ]] || fail "$domain: server closed the keep-alive connection"
    body=$(<"$work/body")
    # The filing number is what lies between the marker and the page's FIRST end marker.
    before_end=${body%%"$end_marker"*}
    [[ $before_end == *"$start_marker$n" ]] ||
        fail "$domain: the first '$end_marker' does not follow the filing fragment of $number"
    grep -qF -- "$sponsor_label$s$end_marker" "$work/body" || fail "$domain: no one-line sponsor fragment"
    grep -qF -- "$date_label$date$end_marker" "$work/body" || fail "$domain: no one-line review date fragment"
    grep -q '<meta http-equiv="Content-Type" content="text/html; charset=gb2312"' "$work/body" ||
        fail "$domain: no gb2312 meta tag"
done <"$service/filings.tsv"
((records >= 30)) || fail "only $records records checked"
echo "checked $records filed pages on one connection"

# --- unfiled, hostile and near-miss values all get the no-record page ------------------------------
lookup 'nothing.example'
[[ $status == 200 && $ctype == 'text/html; charset=gb2312' ]] || fail "unfiled: status $status, '$ctype'"
cp "$work/body" "$work/none"
grep -qF -- "$(gbk '没有符合条件的记录')" "$work/none" || fail "unfiled page lacks the no-record text"
grep -qF -- "$start_marker" "$work/none" && fail "unfiled page holds a filing fragment"

trail_case=$(gbk '中文網.example' | tr W w) # 網 = BE 57 ("W"): BE 77 is another character
for value in '../../etc/passwd' '..%2F..%2Fetc%2Fpasswd' '/etc/passwd' 'r001.html' '/r001.html' \
    'none.html' '../lookup-map.conf' '' 'example.com.' 'xexample.com' "$trail_case"; do
    lookup "$value"
    [[ $status == 200 ]] || fail "'$value': status $status"
    cmp -s "$work/body" "$work/none" || fail "'$value' did not get the no-record page"
done

# Plain host names match without regard to ASCII letter case, like DNS names.
lookup 'EXAMPLE.Com'
[[ $(<"$work/body") == *"$start_marker${number_of[example.com]}$end_marker"* ]] ||
    fail "EXAMPLE.Com did not get example.com's page"
exec 3>&-

# Path traversal in the request path itself.
open_connection
send_get '/../../../../etc/passwd' && read_response
[[ $status == 4* ]] || fail "path traversal: status $status"
grep -q 'root:' "$work/body" && fail "path traversal served /etc/passwd"
exec 3>&-

# --- the maker's pages -----------------------------------------------------------------------
open_connection
for page in / /usage.html /panel.html; do
    send_get "$page" && read_response
    [[ $status == 200 && $ctype == 'text/html; charset=utf-8' ]] || fail "$page: status $status, '$ctype'"
    iconv -f UTF-8 -t UTF-8 "$work/body" >/dev/null 2>&1 || fail "$page is not valid UTF-8"
    grep -qF '澄屿' "$work/body" || fail "$page does not name the maker"
done
send_get /missing.html && read_response
[[ $status == 404 ]] || fail "/missing.html: status $status"
exec 3>&-

# --- stop, and stop again ---------------------------------------------------------------------
pid=$(<"$CY_SERVICE_DIR/nginx.pid")
"$service/stop" "127.0.0.1:$port" >/dev/null || fail "service/stop failed"
(exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && fail "port $port still accepts connections after stop"
[[ -e /proc/$pid && $(cut -d' ' -f3 "/proc/$pid/stat" 2>/dev/null) != Z ]] && fail "nginx $pid still runs"
"$service/stop" "127.0.0.1:$port" >/dev/null || fail "second stop failed"
port=

# --- names and text that nginx's configuration treats specially are served exactly --------------
# A map word as a domain, a leading "~", "$" and a GBK trail byte 0x5C ("\\") in the text, and two
# names that differ only in a trail byte's ASCII letter case (網 = BE 57, 緒 = BE 77).
export CY_SERVICE_DIR=$work/odd
cat >"$work/odd.tsv" <<'DATA'
default	京ICP备00000101号	某某公司	2010-01-01
~t.example	京ICP备00000102号	某某公司	2010-01-02
a$b.example	京ICP备00000103号	某$x乗\n公司	2010-01-03
中文網.example	京ICP备00000104号	某某公司	2010-01-04
中文緒.example	京ICP备00000105号	某某公司	2010-01-05
DATA
out=$(CY_FILINGS=$work/odd.tsv "$service/start" 127.0.0.1:0) || fail "start with odd records: $out"
if [[ $out =~ http://127\.0\.0\.1:([0-9]+)/ ]]; then
    port=${BASH_REMATCH[1]}
    open_connection
    for pair in 'default 101' '~t.example 102' 'a$b.example 103' '中文網.example 104' '中文緒.example 105' \
        'DEFAULT none' '中文网.example none'; do
        lookup "$(gbk "${pair% *}")"
        n=${pair#* }
        if [[ $n == none ]]; then
            cmp -s "$work/body" "$work/none" || fail "'${pair% *}' did not get the no-record page"
        else
            [[ $(<"$work/body") == *"$start_marker$(gbk "京ICP备00000$n号")$end_marker"* ]] ||
                fail "'${pair% *}' did not get record $n"
        fi
    done
    lookup 'a$b.example'
    grep -qF -- "$sponsor_label$(gbk '某$x乗\n公司')$end_marker" "$work/body" ||
        fail "a sponsor holding \$, a trail byte 0x5C and \\n is not served as written"
    exec 3>&-
    "$service/stop" "127.0.0.1:$port" >/dev/null || fail "stop of the odd-records instance failed"
    port=
fi

# --- data the page generator must refuse ------------------------------------------------------
bad=(
    $'example.com\t京ICP备00000001号\t某某公司'
    $'example.com\t京ICP备00000001号\t某某公司\t2010-5-20'
    $'a&b.example\t京ICP备00000001号\t某某公司\t2010-05-20'
    $'example.com\t\t某某公司\t2010-05-20'
    $'example.com\t京ICP备00000001号\t某某公司\t2010-05-20\nExample.COM\t京ICP备00000002号\t某某公司\t2010-05-20'
    $'example.com\t京ICP备00000001号\t某某\xc2\xa9公司\t2010-05-20'
    "example.com"$'\t'"京ICP备00000001号"$'\t'"$(printf '很%.0s' {1..2100})"$'\t2010-05-20'
)
for data in "${bad[@]}"; do
    printf '%s\n' "$data" >"$work/bad.tsv"
    if "$service/make-pages" "$work/pages" "$work/bad.tsv" >/dev/null 2>&1; then
        fail "make-pages accepted: $(head -c 80 "$work/bad.tsv")"
    fi
done

if ((failures)); then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "all checks passed"
