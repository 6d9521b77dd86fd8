// Logs in to sqlsim with tedious over TLS and runs one statement. Reads its settings as JSON on
// standard input (the password never goes on a command line): port, user, password, encrypt
// (true or "strict"), ca (PEM file the server's certificate must chain to).
// Prints "ROWS n" on success, "ERROR message" on failure.
'use strict';
const fs = require('fs');
const { Connection, Request } = require('tedious');

let input = '';
process.stdin.on('data', (chunk) => { input += chunk; });
process.stdin.on('end', () => {
  const settings = JSON.parse(input);
  const connection = new Connection({
    server: '127.0.0.1',
    authentication: { type: 'default', options: { userName: settings.user, password: settings.password } },
    options: {
      port: settings.port,
      database: 'master',
      encrypt: settings.encrypt,
      trustServerCertificate: false,
      serverName: 'localhost',
      cryptoCredentialsDetails: { ca: fs.readFileSync(settings.ca) },
      connectTimeout: 10000,
    },
  });
  const fail = (error) => {
    console.log('ERROR ' + (error && error.message));
    process.exit(1);
  };
  connection.on('connect', (error) => {
    if (error)
      return fail(error);
    let rows = 0;
    const request = new Request('Select GetDate() F_Date', (requestError) => {
      if (requestError)
        return fail(requestError);
      console.log('ROWS ' + rows);
      connection.close();
    });
    request.on('row', () => { rows += 1; });
    connection.execSql(request);
  });
  connection.on('error', fail);
  connection.connect();
});
