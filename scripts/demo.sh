#!/usr/bin/env bash
# The demo: a fresh directory under the build folder with an initialised
# embedded database, a service user and a file owner with an e-mail address,
# a company with one series (the corporate action and news examples name
# them), the demo's quoted series (examples/quote_series.sql), the example
# files queued (the good ones, then one that fails its check pass), one run
# of the service, then the queue.
set -uo pipefail
build=${1:-build}
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "$build" && pwd)"
demo="$build/demo"
rm -rf "$demo" && mkdir -p "$demo"
cd "$demo" || exit 1
db="$build/zuninput-db"

"$db" init || exit 1
printf 'demo-service-pw\n' | "$db" user add zunsvc --password-stdin --admin || exit 1
printf 'demo-owner-pw\n' | "$db" user add ana.lima --password-stdin --email ana.lima@example.com || exit 1
"$db" sql "INSERT INTO empresa (id, cod, pais, nome) VALUES (1, 'PETR', 0, 'Petrobras')" || exit 1
"$db" sql "INSERT INTO ativo (id, emp, idclass, vote, tipoobj) VALUES (1, 1, 3, 1, 0)" || exit 1
"$db" sql "INSERT INTO anb (id, acao, cod, bolsa) VALUES (1, 1, 'PETR4', 1)" || exit 1
"$db" sql "UPDATE anb SET pais_pro_cod_zun = 0 WHERE id = 1" || exit 1
while IFS= read -r sql; do
  if [ -n "$sql" ]; then "$db" sql "$sql" 2>/dev/null || exit 1; fi
done <"$root"/examples/quote_series.sql
for f in "$root"/examples/good.txt "$root"/examples/small_tables.txt \
  "$root"/examples/quotes_bulletin.txt "$root"/examples/quotes_conditional.txt \
  "$root"/examples/corporate_actions.txt "$root"/examples/news.txt \
  "$root"/examples/object_records.txt "$root"/examples/registry.txt \
  "$root"/examples/share_bases.txt "$root"/examples/shareholders.txt \
  "$root"/examples/composition.txt "$root"/examples/portfolio.txt \
  "$root"/examples/statement_plan.txt "$root"/examples/statements.txt \
  "$root"/examples/security_master_[1-4]_*.txt \
  "$root"/examples/check_fails.txt; do
  printf 'queued %s as entry ' "$(basename "$f")"
  "$db" enqueue "$f" --user ana.lima || exit 1
done

echo "--- running the service"
# No mail gateway runs here: the mails fail fast (connection refused) and are logged.
"$build/zuninput" -provider:SQLite -user:zunsvc -password:demo-service-pw \
  -MailGateway:http://127.0.0.1:9/ -PathReqGBol:"$demo/"
code=$?
echo "--- the run ended with exit status $code"
echo "--- the queue"
"$db" queue
echo "--- the exchanges, as examples/small_tables.txt left them"
"$db" sql "SELECT id, pais, cod, codiso10383 FROM bolsa"
echo "--- the quotes of 2024-07-03 (close, open), as the quote examples left them"
"$db" sql "SELECT a.cod, c.valor1, c.valor2 FROM cotacao c JOIN anb a ON a.id = c.anb ORDER BY a.id"
echo "--- the quote bulletins logged"
grep -- '- BolCot: ' zuninput.log
echo "--- the corporate actions and news, as examples/corporate_actions.txt and news.txt left them"
"$db" sql "SELECT anb, date(udex), tipo, moeda, acoes, valor FROM provento"
"$db" sql "SELECT emp, date(date), seq, length(txt) FROM noticia"
echo "--- company PETR, its assets and series PETR4, as examples/object_records.txt left them"
"$db" sql "SELECT cod, naics FROM empresa WHERE id = 1"
"$db" sql "SELECT emp, idclass, vote, tipoobj FROM ativo WHERE emp = 1 ORDER BY id"
"$db" sql "SELECT cod, tipo_de_bgl_destino, isin FROM anb WHERE id = 1"
echo "--- the registration data, as examples/registry.txt left them"
"$db" sql "SELECT eaa, id_eaa, idindica, substr(data_ini, 1, 10), valornum, valorst FROM valor_indicador ORDER BY eaa, idindica, data_ini"
"$db" sql "SELECT cnpj FROM empresa WHERE id = 1"
echo "--- PETR's share bases, as examples/share_bases.txt left them"
"$db" sql "SELECT date(data), id_class, total, stat_tot, em_tesouraria, stat_em, ex_tesouraria, stat_ex FROM base_acionaria WHERE id_emp = 1 ORDER BY data, id_class"
echo "--- the parties and compositions, as examples/shareholders.txt, composition.txt and portfolio.txt left them"
"$db" sql "SELECT id, nome, eh_acionista, eh_aplicacao FROM acionista WHERE id < 2147483645 ORDER BY id"
"$db" sql "SELECT c.TipoDocumento, date(c.dtref), i.nac, i.vot, i.vlr, i.TipoAplicacao FROM compaccitem i JOIN compacc c ON c.id = i.cac ORDER BY c.id, i.nac, i.TipoAplicacao, i.vot"
echo "--- the statements of examples/statements.txt with their grades (0 passed, 1 minor, 2 failed)"
"$db" sql "SELECT date(dataref), checagemfalhou, incompleto, date(datadivulgacao) FROM balanco ORDER BY dataref"
grep -a -- 'Warning: registro ignorado' zuninput.log | iconv -f WINDOWS-1252 -t UTF-8
echo "--- the security master built from nothing by examples/security_master_*.txt, with its quote"
"$db" sql "SELECT e.cod, e.nome, t.idclass, a.cod, date(c.data), c.valor1 FROM empresa e JOIN ativo t ON t.emp = e.id JOIN anb a ON a.acao = t.id LEFT JOIN cotacao c ON c.anb = a.id WHERE e.cod = 'ZUNM'"
echo "log: $demo/zuninput.log"
