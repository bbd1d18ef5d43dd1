# Turns the demo filing records into lookup pages and the nginx map that selects them.
# Runs under LC_ALL=C on GBK bytes: every input has already been converted by make-pages.
#
# Variables (-v): layout, filed, none = GBK template files; out = output directory.
# Environment: CY_GBK_* = GBK spellings of the words that decide a sponsor's kind (see Nature).
# Input: the records, GBK, tab-separated: domain, filing number, sponsor, review date.
# Output: out/lookup/rNNN.html per record, out/lookup/none.html, out/lookup-map.conf.

function slurp(path,    text, line) {
    text = ""
    while ((getline line < path) > 0) {
        text = text line "\n"
    }
    close(path)
    return text
}

# Replaces every occurrence of key by val, both taken literally.
function subst(text, key, val,    out, i) {
    out = ""
    while ((i = index(text, key)) > 0) {
        out = out substr(text, 1, i - 1) val
        text = substr(text, i + length(key))
    }
    return out text
}

# No GBK trail byte is below 0x40, so escaping these ASCII bytes never splits a character.
function html(text) {
    text = subst(text, "&", "&amp;")
    text = subst(text, "<", "&lt;")
    text = subst(text, ">", "&gt;")
    return subst(text, "\"", "&quot;")
}

function fail(msg) {
    printf "make-pages: filings.tsv line %d: %s\n", FNR, msg > "/dev/stderr"
    failed = 1
    exit 1
}

function has(text, word) {
    return word != "" && index(text, word) > 0
}

# The sponsor's kind shown on the page, guessed from its name.
function nature(sponsor) {
    if (has(sponsor, ENVIRON["CY_GBK_ASSOC"])) return ENVIRON["CY_GBK_SOCIAL"]
    if (has(sponsor, ENVIRON["CY_GBK_COMPANY"]) || has(sponsor, ENVIRON["CY_GBK_COOP"]) ||
        has(sponsor, ENVIRON["CY_GBK_STUDIO"]))
        return ENVIRON["CY_GBK_ENTERPRISE"]
    if (has(sponsor, ENVIRON["CY_GBK_CENTRE"]) || has(sponsor, ENVIRON["CY_GBK_SCHOOL"]) ||
        has(sponsor, ENVIRON["CY_GBK_HOSPITAL"]) || has(sponsor, ENVIRON["CY_GBK_LIBRARY"]))
        return ENVIRON["CY_GBK_INSTITUTION"]
    if (length(sponsor) <= 6) return ENVIRON["CY_GBK_PERSON"]
    return ENVIRON["CY_GBK_ENTERPRISE"]
}

# A map key that matches exactly these bytes. Plain host names are nginx string keys, which
# match without regard to ASCII letter case as domain names do. Anything else becomes an
# anchored case-sensitive regular expression with every byte hex-escaped: string keys would
# fold a GBK trail byte such as 0x41 ("A") to 0x61 and so confuse two different characters.
function map_key(domain,    key, i) {
    if (domain ~ /^[A-Za-z0-9-]+(\.[A-Za-z0-9-]+)+$/) return domain
    key = "~^"
    for (i = 1; i <= length(domain); i++) key = key sprintf("\\x%02x", ord[substr(domain, i, 1)])
    return key "$"
}

BEGIN {
    FS = "\t"
    for (i = 1; i < 256; i++) ord[sprintf("%c", i)] = i
    layout_text = slurp(layout)
    filed_text = slurp(filed)
    page = subst(layout_text, "@TITLE@", ENVIRON["CY_GBK_NONE_TITLE"])
    page = subst(page, "@QUERY@", "")
    printf "%s", subst(page, "@RESULT@\n", slurp(none)) > (out "/lookup/none.html")
    close(out "/lookup/none.html")
    map = out "/lookup-map.conf"
    printf "# Generated from filings.tsv: domain -> its page.\n" > map
    count = 0
}

{ sub(/\r$/, "") }
/^#/ || /^$/ { next }

{
    if (NF != 4) fail("expected 4 tab-separated fields, found " NF)
    domain = $1; number = $2; sponsor = $3; date = $4
    for (f = 1; f <= 4; f++) {
        if ($f == "") fail("field " f " is empty")
        if ($f ~ /[\001-\037\177]/) fail("field " f " holds a control character")
    }
    # The program sends the domain raw; these bytes could never arrive as the Domain value.
    if (domain ~ /[ &#\\"';{}]/) fail("domain \"" domain "\" holds a byte that a lookup cannot send")
    if (date !~ /^[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]$/) fail("review date \"" date "\" is not YYYY-MM-DD")
    key = map_key(domain)
    folded = (key ~ /^~/) ? key : tolower(key)
    if (folded in seen) fail("domain \"" domain "\" repeats line " seen[folded])
    seen[folded] = FNR

    count++
    name = sprintf("r%03d.html", count)
    result = filed_text
    result = subst(result, "@NUMBER@", html(number))
    result = subst(result, "@SPONSOR@", html(sponsor))
    result = subst(result, "@NATURE@", nature(sponsor))
    result = subst(result, "@DOMAIN@", html(domain))
    result = subst(result, "@DATE@", html(date))
    page = subst(layout_text, "@TITLE@", html(domain))
    page = subst(page, "@QUERY@", html(domain))
    page = subst(page, "@RESULT@\n", result)
    printf "%s", page > (out "/lookup/" name)
    close(out "/lookup/" name)
    printf "    %s /%s;\n", key, name > map
}

END {
    if (failed) exit 1
    close(map)
    printf "make-pages: %d filing pages\n", count
}
