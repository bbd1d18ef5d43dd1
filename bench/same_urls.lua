-- wrk script: requests the batch's URLs in the batch's order, over and over, so that wrk's rate
-- is that of the same pages on the same wire.
--   wrk -t1 -c1 -d3s -s bench/same_urls.lua http://HOST:PORT -- PATH_PREFIX DOMAINS_FILE ROWS
-- PATH_PREFIX ends with "Domain="; row i asks for domain i modulo the file's line count, as the
-- batch benchmark fills its table.
local requests = {}
local next_request = 0

function init(args)
    local prefix, file, rows = args[1], args[2], tonumber(args[3])
    local domains = {}
    for line in io.lines(file) do
        if line ~= "" then
            domains[#domains + 1] = line
        end
    end
    for i = 0, rows - 1 do
        requests[i + 1] = wrk.format("GET", prefix .. domains[i % #domains + 1])
    end
end

function request()
    next_request = next_request % #requests + 1
    return requests[next_request]
end
