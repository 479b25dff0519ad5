CREATE OR REPLACE FUNCTION nce_padr(v text, width integer) RETURNS text
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $fn$
  SELECT coalesce(v, '') || repeat(' ', width - octet_length(coalesce(v, '')))
$fn$;

CREATE OR REPLACE FUNCTION nce_padl(v text, width integer) RETURNS text
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $fn$
  SELECT repeat(' ', width - octet_length(coalesce(v, ''))) || coalesce(v, '')
$fn$;

-- SQLite moves a start of 0 to 1 and takes one character less; a negative
-- start counts from the end, and what lies before the first character
-- shortens the count.
CREATE OR REPLACE FUNCTION nce_substr(v text, start integer, count integer) RETURNS text
LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS $fn$
  SELECT CASE
    WHEN start > 0 THEN substr(v, start, count)
    WHEN start = 0 THEN substr(v, 1, greatest(count - 1, 0))
    WHEN start + length(v) >= 0 THEN substr(v, start + length(v) + 1, count)
    ELSE substr(v, 1, greatest(count + start + length(v), 0))
  END
$fn$;

CREATE OR REPLACE FUNCTION nce_substr(v text, start integer) RETURNS text
LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS $fn$
  SELECT nce_substr(v, start, 2147483647)
$fn$;

-- SQLite adds the half unit and the nudge to the value in long double and
-- reads digits off it; the exact numerics here give the same digits but
-- where that sum lies within a long double's rounding of a cut.
CREATE OR REPLACE FUNCTION nce_printf_f(x double precision, decimals integer) RETURNS text
LANGUAGE plpgsql IMMUTABLE STRICT PARALLEL SAFE AS $fn$
DECLARE
  bits bigint := ('x' || encode(float8send(x), 'hex'))::bit(64)::bigint;
  ex integer := ((bits >> 52) & 2047)::integer - 1023;  -- the binary exponent
  v numeric := nce_exact_number(abs(x));
  r numeric;
  lead integer;  -- the power of ten of r's first digit
BEGIN
  r := v + ('0.5e' || -decimals)::numeric;
  IF decimals + ex / 3 < 15 THEN
    r := r + v * nce_exact_number(3e-16);
  END IF;
  IF r >= 1 THEN
    lead := length(trunc(r)::text) - 1;
  ELSE
    lead := -1 - length(substring(r::text from '^0\.(0*)'));
  END IF;
  RETURN CASE WHEN x < 0 THEN '-' ELSE '' END
         || round(trunc(r, least(decimals, 15 - lead)), decimals)::text;
END
$fn$;

CREATE OR REPLACE FUNCTION nce_str(x double precision, width integer, decimals integer)
RETURNS text LANGUAGE plpgsql IMMUTABLE STRICT PARALLEL SAFE AS $fn$
DECLARE
  t text := nce_printf_f(x, decimals);
BEGIN
  IF length(t) > width THEN RETURN repeat('*', width); END IF;
  RETURN lpad(t, width);
END
$fn$;

-- SQLite rounds to a whole number through a 64-bit integer (so -0.3 gives
-- 0, not -0), leaves values beyond 2^52 alone, and otherwise reads back
-- what printf wrote.
CREATE OR REPLACE FUNCTION nce_round(x double precision, decimals integer)
RETURNS double precision LANGUAGE plpgsql IMMUTABLE STRICT PARALLEL SAFE AS $fn$
DECLARE
  n integer := least(greatest(decimals, 0), 30);
BEGIN
  IF x < -4503599627370496 OR x > 4503599627370496 THEN RETURN x; END IF;
  IF n = 0 THEN
    RETURN trunc(x + CASE WHEN x < 0 THEN -0.5::double precision ELSE 0.5 END) + 0;
  END IF;
  RETURN nce_printf_f(x, n)::double precision;
END
$fn$;

CREATE OR REPLACE FUNCTION nce_iso_date(v text) RETURNS date
LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS $fn$
  SELECT make_date(substr(v, 1, 4)::integer, substr(v, 6, 2)::integer, substr(v, 9, 2)::integer)
$fn$;
