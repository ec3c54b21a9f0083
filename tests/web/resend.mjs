// The page keeps a pupil's work when the network goes, against the program's own server: a
// pupil half-way through レベル2 has the tablet reloaded and finds the answers typed so far;
// the server's answer to the grading is then lost on the way back (the server has counted
// it), the page waits, sends the same grading again and shows the marks, and the answer log
// holds the set once. Also: a name on the class list is shown as text, never as markup.
//   node resend.mjs /path/to/quorin
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { check, launch, padEnter, questions, startServer, tabletPage, tapText, text } from './harness.mjs';

const program = process.argv[2];
check(program && fs.existsSync(program), 'no program given (node resend.mjs /path/to/quorin)');
const data = fs.mkdtempSync(path.join(os.tmpdir(), 'quorin-resend-'));
// A roster whose names are plain ASCII, the same bytes in code page 932.
fs.writeFileSync(path.join(data, 'Quorin.ini'),
  'Name;Novice;Intermediate;Expert;Challenge\r\nhanako;0;0;0;0\r\n<b>yuki</b>;0;0;0;0\r\n');
const server = await startServer(program, ['--serve', '--listen', '127.0.0.1', '--data-folder', data],
  { env: { ...process.env, QT_QPA_PLATFORM: 'offscreen' } });
const browser = await launch();
try {
  const page = await tabletPage(browser);
  await page.goto(server.url);
  await page.waitForSelector('#names button');
  const names = await page.$$eval('#names button', (bs) => bs.map((b) => b.textContent));
  check(names.includes('<b>yuki</b>'), `names shown: ${names.join(' / ')}`);
  check(await page.$('#names b') === null, 'a name was put into the page as markup');

  await tapText(page, 'hanako', '#names');
  await tapText(page, 'レベル2', '#screen-home');
  await page.waitForSelector('#sheet .box');
  const asked = await questions(page);
  const given = asked.map((q, i) => (i === 0 ? q.a * q.b + 1 : q.a * q.b));
  for (let i = 0; i < 10; ++i) await padEnter(page, given[i]);

  // The tablet is reloaded: the same questions with the answers typed, the pad in the next box.
  await page.reload();
  await page.waitForSelector('#sheet .box');
  check(JSON.stringify(await questions(page)) === JSON.stringify(asked), 'the set changed on reload');
  const kept = await page.$$eval('#sheet .box', (bs) => bs.map((b) => b.value));
  check(kept.slice(0, 10).join() === given.slice(0, 10).join() && kept.slice(10).every((v) => v === ''),
    `answers after reload: ${kept.join()}`);

  // The first grading reaches the server, and its answer is lost on the way back.
  const cdp = await page.target().createCDPSession();
  let gradings = 0;
  cdp.on('Fetch.requestPaused', async ({ requestId }) => {
    ++gradings;
    await (gradings === 1 ? cdp.send('Fetch.failRequest', { requestId, errorReason: 'ConnectionReset' })
      : cdp.send('Fetch.continueRequest', { requestId }));
  });
  await cdp.send('Fetch.enable', { patterns: [{ urlPattern: '*api/grade', requestStage: 'Response' }] });
  for (let i = 10; i < 20; ++i) await padEnter(page, given[i]);

  await page.waitForFunction(() => document.getElementById('score').textContent !== '', { timeout: 60000 });
  check(gradings >= 2, `the grading was sent ${gradings} time(s)`);
  check(await text(page, '#score') === '95点です', `the score reads "${await text(page, '#score')}"`);
  const marks = await page.$$eval('#sheet .mark', (ms) => ms.map((m) => m.firstChild.textContent)).then((m) => m.join(''));
  check(marks === '×' + '◎'.repeat(19), `marks: ${marks}`);
} finally {
  await browser.close();
  await server.stop();
}
const logs = fs.readdirSync(data).filter((f) => /^answers-.*\.csv$/.test(f));
const lines = logs.flatMap((f) => fs.readFileSync(path.join(data, f), 'utf8').split('\r\n'))
  .filter((l) => l.includes(',hanako,レベル2,'));
check(lines.length === 20, `the log holds ${lines.length} lines of the set (20 expected)`);
console.log('web resend: passed');
