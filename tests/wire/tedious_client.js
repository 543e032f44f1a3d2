// A second TDS client, independent of FreeTDS, against the TDS test server:
// tedious sends a plain batch, parameterised sp_executesql (by procedure id)
// with SQL Server's types, and RPCs of the database's procedures by name,
// over TLS. Prints one line per check; exits 1 when one fails.
//
//   node tedious_client.js PORT trust|CA_FILE
const fs = require('fs');
const { Connection, Request, TYPES } = require('tedious');

const [port, trust] = process.argv.slice(2);
const tls = trust === 'trust' ? { trustServerCertificate: true }
  : { trustServerCertificate: false, cryptoCredentialsDetails: { ca: fs.readFileSync(trust) } };
const connection = new Connection({
  server: '127.0.0.1',
  authentication: { type: 'default', options: { userName: 'zunsvc', password: 's3cret' } },
  options: { port: Number(port), database: 'ZunInput', encrypt: true, tdsVersion: '7_4',
             rowCollectionOnRequestCompletion: true, ...tls },
});

// Runs request kind ('batch', 'sql' or 'proc') with params [name, type,
// value, options, output]; resolves to its rows' values, outputs and status.
function run(kind, text, params = []) {
  return new Promise((resolve, reject) => {
    const got = { rows: [], outputs: {}, status: null };
    const request = new Request(text, (err, count, rows) => {
      if (err) return reject(err);
      got.rows = (rows || []).map((row) => row.map((c) => c.value));
      resolve(got);
    });
    for (const [name, type, value, options, output] of params) {
      if (output) request.addOutputParameter(name, type, value, options);
      else request.addParameter(name, type, value, options);
    }
    request.on('returnValue', (name, value) => { got.outputs[name] = value; });
    request.on('doneProc', (count, more, status) => { got.status = status; });
    if (kind === 'batch') connection.execSqlBatch(request);
    else if (kind === 'sql') connection.execSql(request);
    else connection.callProcedure(request);
  });
}

const show = (v) => (v instanceof Date ? v.toISOString()
  : Buffer.isBuffer(v) ? v.toString('hex') : JSON.stringify(v));
let failed = false;
function check(what, got, want) {
  const ok = show(got) === show(want);
  failed = failed || !ok;
  console.log(`${ok ? 'ok' : 'FAILED'} ${what}${ok ? '' : `: got ${show(got)}, want ${show(want)}`}`);
}

// One value of each type, as SQL Server declares them, text over 4,000
// characters going in chunks.
const longer = 'a'.repeat(5000) + '\u00e9';
const typed = [
  ['d', TYPES.Decimal, 1234.5678, { precision: 18, scale: 4 }],
  ['m', TYPES.Money, -12.25],
  ['dt', TYPES.Date, new Date(Date.UTC(2023, 2, 15))],
  ['d2', TYPES.DateTime2, new Date(Date.UTC(2023, 2, 15, 18, 30, 15, 250)), { scale: 7 }],
  ['tm', TYPES.Time, new Date(Date.UTC(1970, 0, 1, 6, 45, 0, 125)), { scale: 7 }],
  ['v', TYPES.VarChar, 'x\u00e9 y', { length: 50 }],
  ['n', TYPES.NVarChar, longer, { length: Infinity }],
  ['x', TYPES.VarBinary, Buffer.from([0, 255, 7]), { length: Infinity }],
];

connection.on('connect', async (err) => {
  try {
    if (err) throw err;
    check('SELECT 1', (await run('batch', 'SELECT 1')).rows, [[1]]);
    const sum = await run('sql', 'SELECT @a + 1, @s, @a',
      [['a', TYPES.Int, 41], ['s', TYPES.NVarChar, 'z']]);
    check('sp_executesql', sum.rows, [[42, 'z', 41]]);
    const echo = await run('sql', `SELECT ${typed.map(([n]) => `@${n}`).join(', ')}`, typed);
    typed.forEach(([n, , v], i) => check(`sp_executesql @${n}`, echo.rows[0][i], v));
    // Every parameter, as SQL Server refuses a call that leaves one out (201).
    const info = await run('proc', 'GetInfoDoUsuario', [
      ['uid', TYPES.Int, null, {}, true], ['name', TYPES.NVarChar, null, { length: 200 }, true],
      ['email', TYPES.NVarChar, null, { length: 200 }, true], ['IsAdmin', TYPES.Bit, null, {}, true],
      ['SourceDoBal', TYPES.Int, null, {}, true], ['UserFlag', TYPES.Int, null, {}, true],
      ['lingua', TYPES.Int, null, {}, true]]);
    check('GetInfoDoUsuario', [info.status, info.outputs.name, info.outputs.IsAdmin], [0, 'zunsvc', true]);
    const eco = await run('proc', 'zun_eco', typed.map((p) => [...p.slice(0, 3), p[3] || {}, true]));
    typed.forEach(([n, , v]) => check(`zun_eco @${n}`, eco.outputs[n], v));
    const cursor = await run('proc', 'sp_cursorclose', [['cursor', TYPES.Int, 1]]).catch((e) => e);
    check('sp_cursorclose refused', cursor.number, 16937);
    const undeclared = await run('sql', 'SELECT @zz + 1', []).catch((e) => e);
    check('undeclared variable', [undeclared.number, undeclared.class], [137, 15]);
  } catch (e) {
    check('request', e.message, 'no error');
  }
  connection.close();
  process.exitCode = failed ? 1 : 0;
});
connection.connect();
