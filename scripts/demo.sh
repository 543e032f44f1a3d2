#!/usr/bin/env bash
# The demo: a fresh directory under the build folder with an initialised
# embedded database, a service user and a file owner with an e-mail address,
# a company with one series (the corporate action and news examples name
# them), the demo's quoted series (examples/quote_series.sql), the example
# files queued (the good ones, then one that fails its check pass), one run
# of the service, then what the run left in the queue and the tables.
set -uo pipefail
build=${1:-build}
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "$build" && pwd)"
demo="$build/demo"
rm -rf "$demo" && mkdir -p "$demo"
cd "$demo" || exit 1
db="$build/zuninput-db"

say() { printf '\n== %s\n' "$*"; }
# Query results as aligned columns when column(1) is there, else tab-separated.
table() {
  if command -v column >/dev/null; then "$db" sql "$1" | column -t -s $'\t'; else "$db" sql "$1"; fi
}
# Each example file with the one sentence that says what it shows.
examples=(
  "good.txt|comments, blank lines and a record without effect: the smallest file that succeeds"
  "small_tables.txt|the small reference tables: countries, currencies, exchanges, voting statuses"
  "quotes_bulletin.txt|a day's price list of one exchange, stored as quotes and logged once as a bulletin"
  "quotes_conditional.txt|quotes written only when a condition on the stored value holds, and corrections"
  "corporate_actions.txt|dividends and other corporate actions of the series PETR4"
  "news.txt|a news text of the company PETR"
  "object_records.txt|single-attribute updates of a company, its assets and its series"
  "registry.txt|registration data kept as indicators valid from a date on"
  "share_bases.txt|the number of shares of each class on a date"
  "shareholders.txt|parties (shareholders and portfolio items) known by document and country"
  "composition.txt|who holds how much of the company on a date"
  "portfolio.txt|what a fund holds on a date"
  "statement_plan.txt|an account plan and a statement format laid out with it"
  "statements.txt|three financial statements, each graded by the consistency check"
  "security_master_1_company.txt|a security master from nothing, 1 of 4: the company"
  "security_master_2_class.txt|2 of 4: its common shares"
  "security_master_3_series.txt|3 of 4: their series on an exchange"
  "security_master_4_data.txt|4 of 4: the registration data and a quote of the new series"
  "check_fails.txt|a file that is MEANT TO FAIL: its quote names the exchange by name, the check pass refuses it (3952) and nothing of it is written"
)

say "A new embedded database, the service's login user zunsvc and the file owner ana.lima"
"$db" init || exit 1
printf 'demo-service-pw\n' | "$db" user add zunsvc --password-stdin --admin || exit 1
printf 'demo-owner-pw\n' | "$db" user add ana.lima --password-stdin --email ana.lima@example.com || exit 1

say "The company PETR with the series PETR4, and the series the quote examples name"
"$db" sql "INSERT INTO empresa (id, cod, pais, nome) VALUES (1, 'PETR', 0, 'Petrobras')" || exit 1
"$db" sql "INSERT INTO ativo (id, emp, idclass, vote, tipoobj) VALUES (1, 1, 3, 1, 0)" || exit 1
"$db" sql "INSERT INTO anb (id, acao, cod, bolsa) VALUES (1, 1, 'PETR4', 1)" || exit 1
"$db" sql "UPDATE anb SET pais_pro_cod_zun = 0 WHERE id = 1" 2>/dev/null || exit 1
while IFS= read -r sql; do
  if [ -n "$sql" ]; then "$db" sql "$sql" 2>/dev/null || exit 1; fi
done <"$root"/examples/quote_series.sql

say "The example files queued as ana.lima's, in this order"
for e in "${examples[@]}"; do
  f=${e%%|*}
  printf '  entry %-3s %-30s %s\n' "$("$db" enqueue "$root/examples/$f" --user ana.lima)" "$f" \
    "${e#*|}" || exit 1
done

say "One run of the service: it imports the queue most urgent first and stops at check_fails.txt"
# The password comes from the environment, never from the command line. No
# mail gateway runs here: the mails fail fast (connection refused) and are
# logged. -Config names the demo's own configuration file, without settings
# (a named file must exist): the build's defaults hold, whatever
# /etc/zuninput/zuninput.conf this machine has.
printf '# The demo: the build'"'"'s defaults.\n' >"$demo/zuninput.conf" && chmod 600 "$demo/zuninput.conf"
ZUNINPUT_PASSWORD=demo-service-pw "$build/zuninput" -provider:SQLite -user:zunsvc \
  -Config:"$demo/zuninput.conf" -MailGateway:http://127.0.0.1:9/ -PathReqGBol:"$demo/"
code=$?
if [ "$code" = 112 ]; then
  say "The run ended with exit status 112, the low byte of 3952 from check_fails.txt, as intended"
else
  say "UNEXPECTED: the run ended with exit status $code, not 112 (3952 from check_fails.txt)"
fi

say "The queue: result 0 is success; check_fails.txt failed with 3952 and waits for its second try"
"$db" queue | { command -v column >/dev/null && column -t -s $'\t' || cat; }
say "The exchanges, as small_tables.txt left them"
table "SELECT id, pais AS country, cod AS code, codiso10383 AS mic FROM bolsa"
say "The quotes of 2024-07-03 as the quote examples left them"
table "SELECT a.cod AS series, c.valor1 AS close, c.valor2 AS open FROM cotacao c JOIN anb a ON a.id = c.anb ORDER BY a.id"
say "The quote bulletins the service logged"
grep -- '- BolCot: ' zuninput.log
say "The corporate actions and news, as corporate_actions.txt and news.txt left them"
table "SELECT anb AS series_id, date(udex) AS ex_date, tipo AS type, moeda AS currency, acoes AS shares, valor AS value FROM provento"
table "SELECT emp AS company_id, date(date) AS date, seq, length(txt) AS text_length FROM noticia"
say "Company PETR, its assets and series PETR4, as object_records.txt left them"
table "SELECT cod AS code, naics FROM empresa WHERE id = 1"
table "SELECT emp AS company_id, idclass AS class, vote AS voting, tipoobj AS asset_type FROM ativo WHERE emp = 1 ORDER BY id"
table "SELECT cod AS series, tipo_de_bgl_destino AS destination_kind, isin FROM anb WHERE id = 1"
say "The registration data, as registry.txt left them"
table "SELECT eaa AS level, id_eaa AS object_id, idindica AS indicator, substr(data_ini, 1, 10) AS valid_from, valornum AS number, valorst AS text FROM valor_indicador ORDER BY eaa, idindica, data_ini"
table "SELECT cnpj FROM empresa WHERE id = 1"
say "PETR's share bases, as share_bases.txt left them"
table "SELECT date(data) AS date, id_class AS class, total, stat_tot AS total_status, em_tesouraria AS treasury, stat_em AS treasury_status, ex_tesouraria AS outstanding, stat_ex AS outstanding_status FROM base_acionaria WHERE id_emp = 1 ORDER BY data, id_class"
say "The parties and compositions, as shareholders.txt, composition.txt and portfolio.txt left them"
table "SELECT id, nome AS name, eh_acionista AS is_shareholder, eh_aplicacao AS is_portfolio_item FROM acionista WHERE id < 2147483645 ORDER BY id"
table "SELECT c.TipoDocumento AS kind, date(c.dtref) AS date, i.nac AS party, i.vot AS voting_pct, i.vlr AS value, i.TipoAplicacao AS item_type FROM compaccitem i JOIN compacc c ON c.id = i.cac ORDER BY c.id, i.nac, i.TipoAplicacao, i.vot"
say "The statements of statements.txt with their grades (0 passed, 1 minor, 2 failed)"
table "SELECT date(dataref) AS reference_date, checagemfalhou AS check_grade, incompleto AS incomplete, date(datadivulgacao) AS published FROM balanco ORDER BY dataref"
grep -a -- 'Warning: registro ignorado' zuninput.log | iconv -f WINDOWS-1252 -t UTF-8
say "The security master built from nothing by security_master_*.txt, with its quote"
table "SELECT e.cod AS company, e.nome AS name, t.idclass AS class, a.cod AS series, date(c.data) AS quote_date, c.valor1 AS close FROM empresa e JOIN ativo t ON t.emp = e.id JOIN anb a ON a.acao = t.id LEFT JOIN cotacao c ON c.anb = a.id WHERE e.cod = 'ZUNM'"
say "The service's log: $demo/zuninput.log"
