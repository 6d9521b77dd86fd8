// Drives sqlsim with tedious, a TDS client of another family than FreeTDS. One scenario per run,
// named on the command line; it exits 0 when every check holds. The server comes from the
// environment (never the command line, which would show the password): SQLSIM_PORT,
// SQLSIM_USER, SQLSIM_PASSWORD, and SQLSIM_DRIVE_C, the host directory of drive C:.
'use strict';

const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { Connection, Request } = require('tedious');

// sqlsim answers ENCRYPT_NOT_SUP until it negotiates TLS; this is the one place to change that.
const ENCRYPT = false;

function connect() {
  const connection = new Connection({
    server: '127.0.0.1',
    authentication: {
      type: 'default',
      options: { userName: process.env.SQLSIM_USER, password: process.env.SQLSIM_PASSWORD },
    },
    options: {
      port: Number(process.env.SQLSIM_PORT),
      encrypt: ENCRYPT,
      trustServerCertificate: true,
      database: 'master',
      connectTimeout: 5000,
      requestTimeout: 30000,
    },
  });
  const infos = [];
  connection.on('infoMessage', (info) => infos.push({ number: info.number, text: info.message, at: Date.now() }));
  connection.infos = infos;
  return new Promise((resolve, reject) => {
    connection.on('connect', (err) => (err ? reject(err) : resolve(connection)));
    connection.connect();
  });
}

function close(connection) {
  return new Promise((resolve) => {
    connection.on('end', resolve);
    connection.close();
  });
}

// Runs one SQL batch (as ODBC's SQLExecDirect sends it). Resolves with the columns, rows, the
// info messages and the error (null on success) of that batch.
function batch(connection, sql, { timeout, onRequest } = {}) {
  return new Promise((resolve) => {
    const firstInfo = connection.infos.length;
    const result = { columns: [], rows: [], error: null };
    const request = new Request(sql, (err) => {
      result.error = err || null;
      result.infos = connection.infos.slice(firstInfo);
      result.endedAt = Date.now();
      resolve(result);
    });
    if (timeout !== undefined) request.setTimeout(timeout);
    request.on('columnMetadata', (columns) => {
      result.columns = columns.map((c) => c.colName);
    });
    request.on('row', (row) => result.rows.push(row.map((c) => c.value)));
    connection.execSqlBatch(request);
    if (onRequest) onRequest(request);
  });
}

async function ok(connection, sql) {
  const r = await batch(connection, sql);
  assert.equal(r.error, null, `${sql}: ${r.error && r.error.message}`);
  return r;
}

const numbers = (infos) => infos.map((i) => i.number);
// Several errors of one batch come as an AggregateError holding each.
const errorNumbers = (err) => (err.errors ? err.errors.map((e) => e.number) : [err.number]);
const hostC = (...parts) => path.join(process.env.SQLSIM_DRIVE_C, ...parts);

// A request that can be prepared, executed and unprepared in turn; run() starts one of those and
// resolves with its error (null on success).
function preparedRequest(sql) {
  let finished = () => {};
  const request = new Request(sql, (err) => finished(err || null));
  // A prepare ends in one of these events instead of the callback.
  request.on('prepared', () => finished(null));
  request.on('error', (err) => finished(err));
  request.rows = [];
  request.on('row', (row) => request.rows.push(row.map((c) => c.value)));
  request.run = (start) => new Promise((resolve) => {
    finished = resolve;
    request.rows = [];
    start();
  });
  return request;
}

const scenarios = {
  async login() {
    const c = await connect();
    const r = await ok(c, 'select db_name()');
    assert.deepEqual(r.rows, [['master']]);
    // The login itself announced the database and the language, as a server does.
    assert.ok(numbers(c.infos).includes(5701) && numbers(c.infos).includes(5703), JSON.stringify(c.infos));
    await close(c);
  },

  async databaseList() {
    const c = await connect();
    const r = await ok(c, "Select * From master..Sysdatabases Where Name<>'tempdb' Order by [dbid]");
    assert.deepEqual(r.columns.slice(0, 4), ['name', 'dbid', 'sid', 'mode']);
    const names = r.rows.map((row) => row[0]);
    assert.deepEqual(names.slice(0, 3), ['master', 'model', 'msdb']);
    assert.ok(names.includes('SalesDemo') && names.includes('库存管理'), names.join());
    const time = await ok(c, 'Select GetDate() F_Date');
    assert.deepEqual(time.columns, ['F_Date']);
    assert.ok(time.rows[0][0] instanceof Date);
    await close(c);
  },

  async fileBrowsing() {
    fs.mkdirSync(hostC('Bak', '子目录'), { recursive: true });
    fs.writeFileSync(hostC('Bak', 'old.bak'), 'x');
    const c = await connect();
    const exists = await ok(c, "xp_fileexist N'C:\\Bak\\old.bak'");
    assert.deepEqual(exists.columns, ['File Exists', 'File is a Directory', 'Parent Directory Exists']);
    assert.deepEqual(exists.rows, [[1, 0, 1]]);
    const media = await ok(c, 'master..xp_availablemedia 2');
    assert.deepEqual(media.columns, ['name', 'low free', 'high free', 'media type']);
    assert.ok(media.rows.some((row) => row[0] === 'C:\\'), JSON.stringify(media.rows));
    await ok(c, 'Create Table ##TbFile(subdirectory  nvarchar(800) Not Null,[depth] int not null,[file] int)');
    await ok(c, "Insert Into ##TbFile EXECUTE master.dbo.xp_dirtree N'C:\\Bak',1,1");
    const listed = await ok(c, 'Select * From ##TbFile Order by [file],subdirectory');
    assert.deepEqual(listed.rows, [['子目录', 1, 0], ['old.bak', 1, 1]]);
    await ok(c, 'Drop Table ##TbFile');
    await close(c);
  },

  async backupAndRestore() {
    fs.mkdirSync(hostC('Bak'), { recursive: true });
    const c = await connect();
    const backup = await ok(c, "Backup DataBase [SalesDemo] To Disk=N'C:\\Bak\\tedious.Bak'");
    assert.deepEqual(numbers(backup.infos), [4035, 4035, 3014]);
    const header = await ok(c, "RESTORE HEADERONLY FROM  DISK = N'C:\\Bak\\tedious.Bak'  WITH   NOUNLOAD ");
    assert.equal(header.rows.length, 1);
    assert.equal(header.rows[0][header.columns.indexOf('DatabaseName')], 'SalesDemo');
    assert.equal(header.rows[0][header.columns.indexOf('Position')], 1);
    const files = await ok(c, "RESTORE FILELISTONLY FROM  DISK = N'C:\\Bak\\tedious.Bak' WITH  FILE = 1 ,  NOUNLOAD ");
    assert.deepEqual(files.columns.slice(0, 3), ['LogicalName', 'PhysicalName', 'Type']);
    assert.deepEqual(files.rows.map((row) => row[0]), ['SalesDemo', 'SalesDemo_log']);
    const restore = await ok(c, " Restore DataBase [TediousCopy] FROM  DISK = N'C:\\Bak\\tedious.Bak' With File =1," +
      " Move N'SalesDemo' TO N'C:\\TediousCopy.mdf', Move N'SalesDemo_log' TO N'C:\\TediousCopy_log.ldf'");
    assert.deepEqual(numbers(restore.infos), [4035, 4035, 3014]);
    assert.ok(fs.existsSync(hostC('TediousCopy.mdf')));
    const listed = await ok(c, "Select name From master..Sysdatabases Where Name='TediousCopy'");
    assert.deepEqual(listed.rows, [['TediousCopy']]);
    await close(c);
  },

  async errors() {
    const c = await connect();
    const missing = await batch(c, "Backup DataBase [NoSuchDb] To Disk=N'C:\\x.Bak'");
    assert.deepEqual(errorNumbers(missing.error), [911, 3013]);
    const nofile = await batch(c, "RESTORE HEADERONLY FROM  DISK = N'C:\\nothing.Bak'  WITH   NOUNLOAD ");
    assert.deepEqual(errorNumbers(nofile.error), [3201, 3013]);
    const proc = await batch(c, 'exec sp_no_such_procedure');
    assert.deepEqual(errorNumbers(proc.error), [2812]);
    const syntax = await batch(c, 'Selec 1');
    assert.ok(syntax.error, 'a syntax error fails');
    // The connection is still usable after each failure.
    assert.deepEqual((await ok(c, 'select db_name()')).rows, [['master']]);
    await close(c);
  },

  // sqlsim runs slowly here (SQLSIM_SLOW): the progress steps must reach the client one by one.
  async progress() {
    fs.mkdirSync(hostC('Bak'), { recursive: true });
    const c = await connect();
    const r = await ok(c, "Backup DataBase [SalesDemo] To Disk=N'C:\\Bak\\progress.Bak' WITH STATS = 25");
    const steps = r.infos.filter((i) => i.number === 3211);
    assert.deepEqual(steps.map((i) => i.text), ['25 percent processed.', '50 percent processed.',
      '75 percent processed.', '100 percent processed.']);
    assert.ok(r.endedAt - steps[0].at > 500, `first step ${r.endedAt - steps[0].at} ms before the end`);
    await close(c);
  },

  async cancel() {
    fs.mkdirSync(hostC('Bak'), { recursive: true });
    const c = await connect();
    let cancelledAt = 0;
    const r = await batch(c, "Backup DataBase [SalesDemo] To Disk=N'C:\\Bak\\cancelled.Bak' WITH STATS = 10", {
      onRequest: (request) => {
        c.once('infoMessage', () => {
          cancelledAt = Date.now();
          request.cancel();
        });
      },
    });
    assert.ok(cancelledAt > 0, 'no progress message arrived to cancel on');
    assert.equal(r.error && r.error.code, 'ECANCEL');
    assert.ok(r.endedAt - cancelledAt < 1000, `cancel took ${r.endedAt - cancelledAt} ms`);
    assert.ok(!fs.existsSync(hostC('Bak', 'cancelled.Bak')));
    assert.deepEqual((await ok(c, 'select db_name()')).rows, [['master']]);
    await close(c);
  },

  // tedious prepares through sp_prepare, sp_execute and sp_unprepare, by procedure id.
  async prepared() {
    const c = await connect();
    const request = preparedRequest("Select * From master..Sysdatabases Where Name<>'tempdb' Order by [dbid]");
    assert.equal(await request.run(() => c.prepare(request)), null);
    assert.ok(Number.isInteger(request.handle) && request.handle > 0, `handle ${request.handle}`);
    for (let i = 0; i < 2; ++i) {
      assert.equal(await request.run(() => c.execute(request, {})), null);
      assert.deepEqual(request.rows.slice(0, 3).map((row) => row[0]), ['master', 'model', 'msdb']);
    }
    const second = preparedRequest('select db_name()');
    assert.equal(await second.run(() => c.prepare(second)), null);
    assert.notEqual(second.handle, request.handle);
    assert.equal(await request.run(() => c.unprepare(request)), null);
    const gone = await request.run(() => c.execute(request, {}));
    assert.deepEqual(gone && errorNumbers(gone), [8179]);
    assert.equal(await second.run(() => c.execute(second, {})), null);
    assert.deepEqual(second.rows, [['master']]);
    await close(c);
  },

  async timeout() {
    const c = await connect();
    const started = Date.now();
    const r = await batch(c, "Backup DataBase [SalesDemo] To Disk=N'C:\\timeout.Bak'", { timeout: 300 });
    assert.equal(r.error && r.error.code, 'ETIMEOUT');
    assert.ok(r.endedAt - started < 1500, `time-out took ${r.endedAt - started} ms`);
    assert.deepEqual((await ok(c, 'select db_name()')).rows, [['master']]);
    await close(c);
  },
};

async function main() {
  const name = process.argv[2];
  if (!scenarios[name]) {
    console.error(`unknown scenario ${name}; known: ${Object.keys(scenarios).join(' ')}`);
    process.exit(2);
  }
  await scenarios[name]();
  console.log(`${name}: ok`);
}

main().catch((err) => {
  console.error(err && err.stack ? err.stack : err);
  process.exit(1);
});

