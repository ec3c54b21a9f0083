// A full mark survives a crash: the program is killed (SIGKILL) the moment the page shows
// 100点, and the raised run is in the roster.
//   node fullmark.mjs /path/to/quorin
import fs from 'node:fs';
import path from 'node:path';
import {
  check, classFolder, launch, padEnter, questions, signedInTablet, startServer, tapText, text,
} from './harness.mjs';

const program = process.argv[2];
check(program && fs.existsSync(program), 'no program given (node fullmark.mjs /path/to/quorin)');
const { data, env, args } = classFolder(['hanako']);
const server = await startServer(program, args, { env });
const browser = await launch();
try {
  const page = await signedInTablet(browser, server.url, 'hanako');
  await tapText(page, 'レベル1', '#screen-home');
  await page.waitForSelector('#sheet .box');
  for (const q of await questions(page)) await padEnter(page, q.a * q.b);
  await page.waitForFunction(() => document.getElementById('score').textContent !== '', { polling: 'mutation' });
  const ended = await server.kill('SIGKILL');
  check(ended.signal === 'SIGKILL', `the server ended with ${JSON.stringify(ended)}`);
  check(await text(page, '#score') === '100点です', `the score reads "${await text(page, '#score')}"`);
} finally {
  await browser.close();
  await server.kill('SIGKILL');
}
const roster = fs.readFileSync(path.join(data, 'Quorin.ini'), 'latin1');
check(/\r\nhanako;1;0;0;0\r\n/.test(roster), `the roster after the kill:\n${roster}`);
console.log('web fullmark: passed');
