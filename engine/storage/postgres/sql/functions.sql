-- The day number (Julian day) of a date written YYYYMMDD, YYYY-MM-DD or
-- MM/DD/YYYY between blanks, of years 1 to 9999; 0 for any other text.
CREATE OR REPLACE FUNCTION nce_date_julian(v text) RETURNS integer
LANGUAGE plpgsql IMMUTABLE STRICT PARALLEL SAFE AS $fn$
DECLARE
  t text := btrim(v, ' ');
  y integer; m integer; d integer; last integer; a integer; yy integer; mm integer;
BEGIN
  IF t ~ '^[0-9]{8}$' THEN
    y := substr(t, 1, 4)::integer; m := substr(t, 5, 2)::integer; d := substr(t, 7, 2)::integer;
  ELSIF t ~ '^[0-9]{4}-[0-9]{2}-[0-9]{2}$' THEN
    y := substr(t, 1, 4)::integer; m := substr(t, 6, 2)::integer; d := substr(t, 9, 2)::integer;
  ELSIF t ~ '^[0-9]{2}/[0-9]{2}/[0-9]{4}$' THEN
    m := substr(t, 1, 2)::integer; d := substr(t, 4, 2)::integer; y := substr(t, 7, 4)::integer;
  ELSE
    RETURN 0;
  END IF;
  IF y < 1 OR m < 1 OR m > 12 OR d < 1 THEN RETURN 0; END IF;
  last := CASE WHEN m = 2 THEN CASE WHEN y % 4 = 0 AND (y % 100 <> 0 OR y % 400 = 0) THEN 29 ELSE 28 END
               WHEN m IN (4, 6, 9, 11) THEN 30 ELSE 31 END;
  IF d > last THEN RETURN 0; END IF;
  a := CASE WHEN m <= 2 THEN 1 ELSE 0 END;
  yy := y + 4800 - a;
  mm := m + 12 * a - 3;
  RETURN d + (153 * mm + 2) / 5 + 365 * yy + yy / 4 - yy / 100 + yy / 400 - 32045;
END
$fn$;

-- The milliseconds since midnight of a time written H:M, H:M:S or H:M:S.f
-- (one or two digits each, one to three of the fraction), with AM or PM
-- after it or not, between white space; NULL for any other text.
CREATE OR REPLACE FUNCTION nce_time_ms(v text) RETURNS integer
LANGUAGE plpgsql IMMUTABLE STRICT PARALLEL SAFE AS $fn$
DECLARE
  p text[] := regexp_match(v,
    '^[ \t\n\r\f\v]*([0-9]{1,2}):([0-9]{1,2})(:([0-9]{1,2})(\.([0-9]{1,3}))?)?[ \t\n\r\f\v]*([AaPp][Mm])?[ \t\n\r\f\v]*$');
  h integer; m integer; s integer; f integer;
BEGIN
  IF p IS NULL THEN RETURN NULL; END IF;
  h := p[1]::integer; m := p[2]::integer;
  s := coalesce(p[4]::integer, 0);
  f := coalesce(rpad(p[6], 3, '0')::integer, 0);
  IF p[7] IS NOT NULL THEN
    IF h < 1 OR h > 12 THEN RETURN NULL; END IF;
    IF upper(p[7]) = 'AM' AND h = 12 THEN h := 0; END IF;
    IF upper(p[7]) = 'PM' AND h <> 12 THEN h := h + 12; END IF;
  END IF;
  IF h > 23 OR m > 59 OR s > 59 THEN RETURN NULL; END IF;
  RETURN ((h * 60 + m) * 60 + s) * 1000 + f;
END
$fn$;

CREATE OR REPLACE FUNCTION nce_key_number(v text) RETURNS double precision
LANGUAGE plpgsql IMMUTABLE STRICT PARALLEL SAFE AS $fn$
DECLARE
  p text[];
  exponent integer;
BEGIN
  -- A plain number, as typed columns write them, is read at once: its
  -- magnitude lies far within a double's range. A regexp_match costs ten
  -- times the test.
  IF v ~ '^-?[0-9]{1,17}(\.[0-9]{1,17})?(e[-+][0-9]{1,2})?$' THEN
    RETURN v::double precision;
  END IF;
  -- The longest leading decimal number, as strtod reads it; else infinity
  -- or NaN, which it reads too; else nothing, which reads as 0.
  p := regexp_match(v, '^[ \t\n\r\f\v]*([-+]?(?:[0-9]+\.?[0-9]*|\.[0-9]+))(?:[eE]([-+]?[0-9]+))?');
  IF p IS NULL THEN
    p := regexp_match(v, '^[ \t\n\r\f\v]*([-+]?)(infinity|inf|nan)', 'i');
    IF p IS NULL THEN RETURN 0; END IF;
    IF lower(p[2]) = 'nan' THEN RETURN 'NaN'; END IF;
    RETURN CASE WHEN p[1] = '-' THEN '-Infinity' ELSE 'Infinity' END;
  END IF;
  exponent := CASE WHEN p[2] IS NULL THEN 0
                   WHEN length(ltrim(p[2], '+-0')) > 4
                     THEN CASE WHEN left(p[2], 1) = '-' THEN -9999 ELSE 9999 END
                   ELSE p[2]::integer END;
  IF length(p[1]) < 20 AND abs(exponent) < 280 THEN
    RETURN (p[1] || 'e' || exponent)::double precision;
  END IF;
  RETURN nce_key_extreme_number(p[1], exponent);
END
$fn$;

-- A number that may lie beyond a double: infinite above its range and zero
-- below it, as strtod gives them. Apart from nce_key_number because the
-- exception handler costs a subtransaction each time it is entered.
CREATE OR REPLACE FUNCTION nce_key_extreme_number(mantissa text, exponent integer)
RETURNS double precision LANGUAGE plpgsql IMMUTABLE STRICT PARALLEL SAFE AS $fn$
DECLARE
  n numeric := (mantissa || 'e' || exponent)::numeric;
BEGIN
  RETURN n::double precision;
EXCEPTION WHEN numeric_value_out_of_range THEN
  IF abs(n) < 1 THEN RETURN 0; END IF;
  RETURN CASE WHEN n < 0 THEN '-Infinity'::double precision ELSE 'Infinity' END;
END
$fn$;

-- The order-preserving bytes of a double: positive numbers get the sign bit
-- set, negative ones have every bit flipped; -0 and NaN key as 0.
CREATE OR REPLACE FUNCTION nce_key_double_bytes(x double precision) RETURNS bytea
LANGUAGE plpgsql IMMUTABLE STRICT PARALLEL SAFE AS $fn$
DECLARE
  b bytea := float8send(CASE WHEN x = 0 OR x = 'NaN' THEN 0 ELSE x END);
BEGIN
  IF get_byte(b, 0) >= 128 THEN
    FOR j IN 0 .. 7 LOOP b := set_byte(b, j, 255 - get_byte(b, j)); END LOOP;
    RETURN b;
  END IF;
  RETURN set_byte(b, 0, get_byte(b, 0) + 128);
END
$fn$;

-- The text from byte `first` (from 1) of `v`, as the engine cuts a text
-- in bytes; a cut inside a character gives a text no time reads.
CREATE OR REPLACE FUNCTION nce_key_bytes_from(v text, first integer) RETURNS text
LANGUAGE plpgsql IMMUTABLE STRICT PARALLEL SAFE AS $fn$
DECLARE
  b bytea := substring(convert_to(v, 'UTF8') FROM first);
BEGIN
  IF length(b) > 0 AND get_byte(b, 0) BETWEEN 128 AND 191 THEN RETURN 'x'; END IF;
  RETURN convert_from(b, 'UTF8');
END
$fn$;

CREATE OR REPLACE FUNCTION nce_key(shape text, VARIADIC vals text[]) RETURNS bytea
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS $fn$
DECLARE
  segments text[] := string_to_array(shape, ';');
  n integer := coalesce(array_length(segments, 1), 0);
  key bytea := ''::bytea;
  kind text;
  width integer;
  v text;
  b bytea;
BEGIN
  IF n <> coalesce(array_length(vals, 1), 0) THEN
    RAISE EXCEPTION 'nce_key: the key shape and the values do not match';
  END IF;
  FOR i IN 1 .. n LOOP
    kind := left(segments[i], 1);
    v := vals[i];
    IF kind = 'S' OR kind = 'B' THEN
      width := substr(segments[i], 2)::integer;
      b := CASE WHEN v IS NULL THEN ''::bytea
                WHEN kind = 'B' AND left(v, 2) = '\x' THEN decode(substr(v, 3), 'hex')
                ELSE convert_to(v, 'UTF8') END;
      IF length(b) > width THEN
        b := substring(b FROM 1 FOR width);
      ELSIF length(b) < width THEN
        b := b || decode(repeat(CASE WHEN kind = 'S' THEN '20' ELSE '00' END, width - length(b)), 'hex');
      END IF;
      key := key || b;
    ELSIF kind = 'N' THEN
      key := key || nce_key_double_bytes(coalesce(nce_key_number(v), 0));
    ELSIF kind = 'D' THEN
      key := key || int4send(coalesce(nce_date_julian(left(v, 10)), 0));
    ELSIF kind = 'T' THEN
      key := key || int4send(coalesce(nce_time_ms(v), 0));
    ELSIF kind = 'Z' THEN
      key := key || int4send(CASE WHEN octet_length(v) >= 10 THEN nce_date_julian(left(v, 10)) ELSE 0 END)
                 || int4send(CASE WHEN octet_length(v) > 11 THEN coalesce(nce_time_ms(nce_key_bytes_from(v, 12)), 0) ELSE 0 END);
    ELSIF kind = 'L' THEN
      key := key || CASE WHEN left(v, 1) IN ('T', 't', 'Y', 'y', '1') THEN 'T'::bytea ELSE 'F'::bytea END;
    ELSE
      RAISE EXCEPTION 'Malformed key shape %.', shape;
    END IF;
  END LOOP;
  RETURN key;
END
$fn$;
-- The date a text gives as the engine reads one: YYYYMMDD, YYYY-MM-DD,
-- MM/DD/YYYY or M/D/Y between white space; NULL for a blank date (only
-- blanks, slashes, dashes and dots) and for any text that is no date.
CREATE OR REPLACE FUNCTION nce_ctod(v text) RETURNS date
LANGUAGE plpgsql IMMUTABLE STRICT PARALLEL SAFE AS $fn$
DECLARE
  t text := btrim(v, E' \t\n\r\f\v');
  julian integer;
  p text[];
BEGIN
  IF translate(t, ' /-.', '') = '' THEN RETURN NULL; END IF;
  julian := nce_date_julian(t);
  IF julian = 0 THEN
    p := regexp_match(t, '^([0-9]{1,2})/([0-9]{1,2})/([0-9]{1,4})$');
    IF p IS NULL THEN RETURN NULL; END IF;
    julian := nce_date_julian(lpad(p[3], 4, '0') || lpad(p[1], 2, '0') || lpad(p[2], 2, '0'));
    IF julian = 0 THEN RETURN NULL; END IF;
  END IF;
  RETURN date '0001-01-01' + (julian - 1721426);
END
$fn$;

-- The time of day a text gives (see nce_time_ms); NULL for a blank text
-- and for any text that is no time.
CREATE OR REPLACE FUNCTION nce_ctot(v text) RETURNS time
LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS $fn$
  SELECT time '00:00' + nce_time_ms(v) * interval '1 millisecond'
$fn$;

-- The timestamp a text gives: a date (as nce_ctod reads it), then a blank
-- or a T and a time (as nce_ctot reads it); a date alone is its midnight.
-- NULL for a blank text and for any text that is no timestamp.
CREATE OR REPLACE FUNCTION nce_ctots(v text) RETURNS timestamp
LANGUAGE plpgsql IMMUTABLE STRICT PARALLEL SAFE AS $fn$
DECLARE
  t text := btrim(v, E' \t\n\r\f\v');
  day_part text := substring(t FROM '^[^ T]*');
  day date;
  rest text;
  ms integer;
BEGIN
  IF t = '' THEN RETURN NULL; END IF;
  day := nce_ctod(day_part);
  IF day IS NULL THEN RETURN NULL; END IF;
  IF length(day_part) = length(t) THEN RETURN day; END IF;
  rest := btrim(substr(t, length(day_part) + 2), E' \t\n\r\f\v');
  IF rest = '' THEN RETURN day; END IF;
  ms := nce_time_ms(rest);
  IF ms IS NULL THEN RETURN NULL; END IF;
  RETURN day + ms * interval '1 millisecond';
END
$fn$;

-- The exact value of a finite double as a numeric: its 53-bit mantissa
-- times a power of two, which a decimal always holds exactly.
CREATE OR REPLACE FUNCTION nce_exact_number(x double precision) RETURNS numeric
LANGUAGE plpgsql IMMUTABLE STRICT PARALLEL SAFE AS $fn$
DECLARE
  bits bigint := ('x' || encode(float8send(x), 'hex'))::bit(64)::bigint;
  biased integer := ((bits >> 52) & 2047)::integer;
  mantissa numeric := (bits & 4503599627370495)::numeric;
  exponent integer;
  n numeric;
BEGIN
  IF biased = 0 THEN
    exponent := -1074;
  ELSE
    mantissa := mantissa + 4503599627370496;
    exponent := biased - 1075;
  END IF;
  IF exponent >= 0 THEN
    n := mantissa * power(2::numeric, exponent);
  ELSE
    n := (trunc(mantissa * power(5::numeric, -exponent))::text || 'e' || exponent)::numeric;
  END IF;
  RETURN CASE WHEN bits < 0 THEN -n ELSE n END;
END
$fn$;

-- MOD(a, b): the remainder with the sign of the divisor, computed exactly
-- as C's fmod does; NULL when b is 0 or the remainder is no number.
CREATE OR REPLACE FUNCTION nce_mod(a double precision, b double precision)
RETURNS double precision
LANGUAGE plpgsql IMMUTABLE STRICT PARALLEL SAFE AS $fn$
DECLARE
  r double precision;
BEGIN
  IF b = 0 OR a = 'NaN' OR b = 'NaN' OR a IN ('Infinity', '-Infinity') THEN RETURN NULL; END IF;
  IF b IN ('Infinity', '-Infinity') THEN
    r := a;
  ELSE
    r := mod(nce_exact_number(a), nce_exact_number(b))::double precision;
  END IF;
  IF r <> 0 AND (r < 0) <> (b < 0) THEN r := r + b; END IF;
  RETURN r;
END
$fn$;

-- a raised to b, as C's pow computes it; NULL where that is no finite
-- number (a negative number to a broken power, zero to a negative one, an
-- overflow). The server refuses what C answers with infinity, NaN or an
-- underflow to zero, so those are answered before it is asked.
CREATE OR REPLACE FUNCTION nce_pow(a double precision, b double precision)
RETURNS double precision
LANGUAGE plpgsql IMMUTABLE STRICT PARALLEL SAFE AS $fn$
DECLARE
  r double precision;
  extreme boolean;
BEGIN
  -- An infinite base: C gives 1 for the power 0, 0 for negative powers and
  -- infinity for positive ones.
  IF a IN ('Infinity', '-Infinity') THEN
    RETURN CASE WHEN b = 0 THEN 1 WHEN b < 0 THEN 0 END;
  END IF;
  IF a = 0 AND b < 0 THEN RETURN NULL; END IF;
  IF a < 0 AND b <> trunc(b) AND b NOT IN ('Infinity', '-Infinity') THEN RETURN NULL; END IF;
  -- Whether the result may lie beyond a double's range, asked without a
  -- product that could overflow itself.
  IF a NOT IN (0, 1, -1) AND b NOT IN ('Infinity', '-Infinity') THEN
    extreme := CASE WHEN abs(b) > 1 THEN abs(ln(abs(a))) > 700 / abs(b)
                    ELSE abs(b * ln(abs(a))) > 700 END;
    IF extreme THEN RETURN nce_pow_extreme(a, b); END IF;
  END IF;
  r := power(a, b);
  IF r IN ('NaN', 'Infinity', '-Infinity') THEN RETURN NULL; END IF;
  RETURN r;
END
$fn$;

-- nce_pow near the ends of a double's range, apart because its exception
-- handler costs a subtransaction each time it is entered.
CREATE OR REPLACE FUNCTION nce_pow_extreme(a double precision, b double precision)
RETURNS double precision
LANGUAGE plpgsql IMMUTABLE STRICT PARALLEL SAFE AS $fn$
DECLARE
  r double precision;
BEGIN
  r := power(a, b);
  IF r IN ('Infinity', '-Infinity') THEN RETURN NULL; END IF;
  RETURN r;
EXCEPTION WHEN numeric_value_out_of_range THEN
  -- Beyond the range the result is infinite (NULL); below it, zero.
  IF (abs(a) > 1) = (b > 0) THEN RETURN NULL; END IF;
  RETURN 0;
END
$fn$;
-- CONTAINS: the tokens of a pattern: words, parentheses, and phrases in
-- double or single quotes (marked by a leading ", lower-cased).
CREATE OR REPLACE FUNCTION nce_contains_tokens(pattern text) RETURNS text[]
LANGUAGE plpgsql IMMUTABLE STRICT PARALLEL SAFE AS $fn$
DECLARE
  tokens text[] := '{}';
  n integer := length(pattern);
  i integer := 1;
  c text;
  start integer;
  stop integer;
BEGIN
  WHILE i <= n LOOP
    c := substr(pattern, i, 1);
    IF c IN (' ', E'\t', E'\n', E'\r', E'\f', E'\v') THEN
      i := i + 1;
    ELSIF c IN ('(', ')') THEN
      tokens := tokens || c;
      i := i + 1;
    ELSIF c IN ('"', '''') THEN
      stop := strpos(substr(pattern, i + 1), c);
      stop := CASE WHEN stop = 0 THEN n + 1 ELSE i + stop END;
      tokens := tokens || ('"' || nce_ascii_lower(substr(pattern, i + 1, stop - i - 1)));
      i := stop + 1;
    ELSE
      start := i;
      WHILE i <= n AND substr(pattern, i, 1) NOT IN (' ', E'\t', E'\n', E'\r', E'\f', E'\v', '(', ')') LOOP
        i := i + 1;
      END LOOP;
      tokens := tokens || substr(pattern, start, i - start);
    END IF;
  END LOOP;
  RETURN tokens;
END
$fn$;

-- Letters A to Z lower-cased and nothing else, as the engine lowers texts
-- whatever the server's locale.
CREATE OR REPLACE FUNCTION nce_ascii_lower(v text) RETURNS text
LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS $fn$
  SELECT translate(v, 'ABCDEFGHIJKLMNOPQRSTUVWXYZ', 'abcdefghijklmnopqrstuvwxyz')
$fn$;

-- Whether a word of `words` matches the pattern term `term`: the whole
-- word, or with a leading or trailing * its end or start, or with both any
-- part; the term is looked for at its first place in each word.
CREATE OR REPLACE FUNCTION nce_contains_term(words text[], term text) RETURNS boolean
LANGUAGE plpgsql IMMUTABLE STRICT PARALLEL SAFE AS $fn$
DECLARE
  lead boolean := left(term, 1) = '*';
  trail boolean := length(term) > 1 AND right(term, 1) = '*';
  core text := substr(term, CASE WHEN lead THEN 2 ELSE 1 END);
  w text;
  at integer;
BEGIN
  IF trail THEN core := left(core, -1); END IF;
  IF core = '' THEN RETURN cardinality(words) > 0; END IF;
  FOREACH w IN ARRAY words LOOP
    at := strpos(w, core);
    CONTINUE WHEN at = 0;
    IF (at = 1 OR lead) AND (at - 1 + length(core) = length(w) OR trail) THEN RETURN true; END IF;
    IF lead AND trail THEN RETURN true; END IF;
  END LOOP;
  RETURN false;
END
$fn$;

-- One step of CONTAINS' descent from token `pos` (from 1): level 0 reads
-- terms joined by OR, level 1 terms joined by AND or nothing, level 2 one
-- term (NOT, a parenthesis or a word). Gives the truth, the next token and
-- whether the pattern nests beyond 64 levels, which matches nothing.
CREATE OR REPLACE FUNCTION nce_contains_step(tokens text[], words text[], lowered text,
    pos integer, depth integer, level integer,
    OUT truth boolean, OUT next integer, OUT too_deep boolean)
LANGUAGE plpgsql IMMUTABLE STRICT PARALLEL SAFE AS $fn$
DECLARE
  n integer := cardinality(tokens);
  r record;
  token text;
BEGIN
  too_deep := false;
  IF level < 2 THEN
    SELECT * INTO r FROM nce_contains_step(tokens, words, lowered, pos, depth, level + 1);
    truth := r.truth; next := r.next; too_deep := r.too_deep;
    LOOP
      EXIT WHEN too_deep OR next > n;
      IF level = 0 THEN
        EXIT WHEN upper(tokens[next]) <> 'OR';
        next := next + 1;
      ELSE
        EXIT WHEN tokens[next] = ')' OR upper(tokens[next]) = 'OR';
        IF upper(tokens[next]) = 'AND' THEN next := next + 1; END IF;
      END IF;
      SELECT * INTO r FROM nce_contains_step(tokens, words, lowered, next, depth, level + 1);
      truth := CASE WHEN level = 0 THEN r.truth OR truth ELSE r.truth AND truth END;
      next := r.next; too_deep := r.too_deep;
    END LOOP;
    RETURN;
  END IF;
  IF depth > 64 THEN
    truth := false; next := n + 1; too_deep := true;
    RETURN;
  END IF;
  IF pos <= n AND upper(tokens[pos]) = 'NOT' THEN
    SELECT * INTO r FROM nce_contains_step(tokens, words, lowered, pos + 1, depth + 1, 2);
    truth := NOT r.truth; next := r.next; too_deep := r.too_deep;
    RETURN;
  END IF;
  IF pos > n THEN
    truth := false; next := pos;
    RETURN;
  END IF;
  token := tokens[pos];
  next := pos + 1;
  IF token = '(' THEN
    SELECT * INTO r FROM nce_contains_step(tokens, words, lowered, next, depth + 1, 0);
    truth := r.truth; next := r.next; too_deep := r.too_deep;
    IF next <= n AND tokens[next] = ')' THEN next := next + 1; END IF;
  ELSIF token = ')' THEN
    truth := false;
  ELSIF left(token, 1) = '"' THEN
    truth := strpos(lowered, substr(token, 2)) > 0;
  ELSE
    truth := nce_contains_term(words, nce_ascii_lower(token));
  END IF;
END
$fn$;

-- CONTAINS(text, pattern): whether the text holds the pattern's words, as
-- the engine matches them; false when either is NULL.
CREATE OR REPLACE FUNCTION nce_contains(v text, pattern text) RETURNS boolean
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS $fn$
DECLARE
  lowered text := nce_ascii_lower(v);
  tokens text[];
  words text[];
  r record;
BEGIN
  IF v IS NULL OR pattern IS NULL THEN RETURN false; END IF;
  tokens := nce_contains_tokens(pattern);
  IF cardinality(tokens) = 0 THEN RETURN false; END IF;
  words := ARRAY(SELECT m[1] FROM regexp_matches(lowered, '(?:[0-9a-z]|[^\x01-\x7f])+', 'g') AS m);
  SELECT * INTO r FROM nce_contains_step(tokens, words, lowered, 1, 0, 0);
  RETURN r.truth AND NOT r.too_deep;
END
$fn$;

-- Dates, times and timestamps as nce_key reads them, for keys of index
-- orders: fixed forms, where a cast to text follows the session's DateStyle
-- (which is why the server will not index such a cast). A date that
-- arithmetic took beyond years 1 to 9999 gives NULL, which keys as SQLite's
-- texts of such dates key.
CREATE OR REPLACE FUNCTION nce_key_text(v date) RETURNS text
LANGUAGE plpgsql IMMUTABLE STRICT PARALLEL SAFE AS $fn$
BEGIN
  IF v < date '0001-01-01' OR v > date '9999-12-31' THEN RETURN NULL; END IF;
  RETURN to_char(v::timestamp, 'YYYY-MM-DD');
END
$fn$;
CREATE OR REPLACE FUNCTION nce_key_text(v time) RETURNS text
LANGUAGE plpgsql IMMUTABLE STRICT PARALLEL SAFE AS $fn$
BEGIN
  RETURN to_char(date '2000-01-01' + v, 'HH24:MI:SS.MS');
END
$fn$;
CREATE OR REPLACE FUNCTION nce_key_text(v timestamp) RETURNS text
LANGUAGE plpgsql IMMUTABLE STRICT PARALLEL SAFE AS $fn$
BEGIN
  RETURN to_char(v, 'YYYY-MM-DD HH24:MI:SS.MS');
END
$fn$;
