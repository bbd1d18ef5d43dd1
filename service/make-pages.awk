# Turns the filing records into the nginx configuration that serves their lookup pages.
# Runs under LC_ALL=C on GBK bytes: every input has already been converted by make-pages.
#
# Variables (-v): layout, filed, none = GBK template files; out = output directory.
# Environment: CY_GBK_* = GBK spellings of the words that decide a sponsor's kind (see nature).
# Input: the records, GBK, tab-separated: domain, filing number, sponsor, review date.
# Output:
#   out/lookup-maps.conf  (http level) maps from the Domain value to the record's escaped domain,
#                         its filled result fragment and, where needed, its exact bytes
#   out/lookup-page.conf  (lookup location) the page layout in pieces and the "return" that
#                         puts a page together from them
# Pages live in nginx's memory rather than one file per record: 100,000 records would otherwise
# be 100,000 files of 4 KB written at every start.

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

# Text as a double-quoted nginx string whose value is exactly these bytes. A GBK trail byte
# may be 0x5C ("\"), which is doubled like any other. In a value (not in a map key, is_key) "$"
# would start a variable, so it comes from $cy_dollar, which holds a lone "$".
function quoted(text, is_key) {
    text = subst(text, "\\", "\\\\")
    text = subst(text, "\"", "\\\"")
    if (!is_key) text = subst(text, "$", "${cy_dollar}")
    text = subst(text, "\n", "\\n")
    return "\"" text "\""
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

function plain_host(domain) {
    return domain ~ /^[A-Za-z0-9-]+(\.[A-Za-z0-9-]+)+$/
}

# An anchored case-sensitive regular expression matching exactly these bytes, every byte
# hex-escaped.
function regex_key(domain,    key, i) {
    key = "~^"
    for (i = 1; i <= length(domain); i++) key = key sprintf("\\x%02x", ord[substr(domain, i, 1)])
    return key "$"
}

# A string key of nginx's map. Map keys match without regard to ASCII letter case; a key that
# starts with "~" or is one of the map's own words takes a leading backslash.
function string_key(domain) {
    if (domain ~ /^~/ || domain ~ /^(default|hostnames|include|volatile)$/) domain = "\\" domain
    return quoted(domain, 1)
}

# Splits a layout part into "set" directives of at most about 3,000 bytes (nginx reads no
# parameter longer than 4 KB), cut after a newline so that no GBK character is split. Returns
# the variables that hold it, in order, for the "return" line.
function set_pieces(text,    vars, piece, cut, i) {
    vars = ""
    while (text != "") {
        piece = text
        if (length(piece) > 3000) {
            cut = 0
            for (i = 3000; i > 0; i--) if (substr(text, i, 1) == "\n") { cut = i; break }
            if (cut == 0) cut = 3000
            piece = substr(text, 1, cut)
        }
        text = substr(text, length(piece) + 1)
        npieces++
        printf "set $cy_p%d %s;\n", npieces, quoted(piece) > page_conf
        vars = vars "${cy_p" npieces "}"
    }
    return vars
}

BEGIN {
    FS = "\t"
    for (i = 1; i < 256; i++) ord[sprintf("%c", i)] = i
    layout_text = slurp(layout)
    filed_text = slurp(filed)
    none_text = slurp(none)
    maps_conf = out "/lookup-maps.conf"
    page_conf = out "/lookup-page.conf"
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
    # Plain host names match without regard to ASCII letter case, as domain names do; any other
    # name matches its exact bytes (folding would take a GBK trail byte 0x41 "A" for 0x61).
    plain = plain_host(domain)
    same = plain ? tolower(domain) : domain
    if (same in seen) fail("domain \"" domain "\" repeats line " seen[same])
    seen[same] = FNR

    result = filed_text
    result = subst(result, "@NUMBER@", html(number))
    result = subst(result, "@SPONSOR@", html(sponsor))
    result = subst(result, "@NATURE@", nature(sponsor))
    result = subst(result, "@DOMAIN@", html(domain))
    result = subst(result, "@DATE@", html(date))
    result = quoted(result)
    if (length(result) > 4000) fail("the record is too long to serve (over 4,000 bytes)")

    count++
    rec_domain[count] = domain
    rec_plain[count] = plain
    rec_result[count] = result
    # Names that are not plain hosts and fold to the same key cannot share nginx's
    # case-insensitive table: those become exact regular expressions.
    if (!plain) folds[tolower(domain)]++
}

END {
    if (failed) exit 1

    # A hash table that fits: nginx tries table sizes up to map_hash_max_size, and a bucket must
    # hold the longest key.
    longest = 0
    for (r = 1; r <= count; r++) if (length(rec_domain[r]) > longest) longest = length(rec_domain[r])
    bucket = 128
    while (bucket < 2 * (longest + 16)) bucket *= 2
    printf "# Generated by make-pages from the filing records: Domain value -> page content.\n" > maps_conf
    printf "map_hash_bucket_size %d;\n", bucket > maps_conf
    printf "map_hash_max_size %d;\n", (count < 1000 ? 4096 : 4 * count) > maps_conf
    printf "geo $cy_dollar { default \"$\"; }\n" > maps_conf

    # The escaped domain shown on the page; empty for no record.
    printf "map $arg_domain $cy_domain {\n    default \"\";\n" > maps_conf
    for (r = 1; r <= count; r++) {
        key[r] = (rec_plain[r] || folds[tolower(rec_domain[r])] == 1) ? string_key(rec_domain[r]) : regex_key(rec_domain[r])
        printf "    %s %s;\n", key[r], quoted(html(rec_domain[r])) > maps_conf
    }
    printf "}\n" > maps_conf

    # The filled result fragment; the "no record" fragment for any other value.
    printf "map $arg_domain $cy_result {\n    default %s;\n", quoted(none_text) > maps_conf
    for (r = 1; r <= count; r++) printf "    %s %s;\n", key[r], rec_result[r] > maps_conf
    printf "}\n" > maps_conf

    # The exact bytes of a name that is not a plain host, found through its folded key; the
    # lookup page compares them with the Domain value.
    printf "map $arg_domain $cy_exact {\n    default $arg_domain;\n" > maps_conf
    for (r = 1; r <= count; r++)
        if (!rec_plain[r] && key[r] !~ /^~/) printf "    %s %s;\n", key[r], quoted(rec_domain[r]) > maps_conf
    printf "}\n" > maps_conf
    close(maps_conf)

    # The layout around @TITLE@, @QUERY@ and @RESULT@.
    printf "# Generated by make-pages: the lookup page put together from the layout and the maps.\n" > page_conf
    i = index(layout_text, "@TITLE@"); before_title = substr(layout_text, 1, i - 1); rest = substr(layout_text, i + 7)
    i = index(rest, "@QUERY@"); before_query = substr(rest, 1, i - 1); rest = substr(rest, i + 7)
    i = index(rest, "@RESULT@\n"); before_result = substr(rest, 1, i - 1); after_result = substr(rest, i + 9)
    p1 = set_pieces(before_title); p2 = set_pieces(before_query)
    p3 = set_pieces(before_result); p4 = set_pieces(after_result)
    printf "set $cy_d $cy_domain;\nset $cy_r $cy_result;\n" > page_conf
    printf "if ($cy_exact != $arg_domain) {\n    set $cy_d \"\";\n    set $cy_r %s;\n}\n", quoted(none_text) > page_conf
    printf "set $cy_t $cy_d;\nif ($cy_d = \"\") {\n    set $cy_t %s;\n}\n", quoted(ENVIRON["CY_GBK_NONE_TITLE"]) > page_conf
    printf "return 200 \"%s${cy_t}%s${cy_d}%s${cy_r}%s\";\n", p1, p2, p3, p4 > page_conf
    close(page_conf)
    printf "make-pages: %d filing pages\n", count
}
