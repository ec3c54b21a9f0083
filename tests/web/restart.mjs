// The program started again in the middle of two pupils' sets costs them nothing: hanako is
// half-way through レベル1 and taro through れんしゅう when the server stops; both go on, their
// answers wait on the tablets, and once the server answers again (same address) the waiting
// answers are sent, graded and logged once, with both pupils still signed in. An address with
// an old class code shows the page telling the pupil to scan the new one.
//   node restart.mjs /path/to/quorin
import fs from 'node:fs';
import {
  check, classFolder, launch, logLines, padEnter, questions, signedInTablet, startServer, tapText, text,
} from './harness.mjs';

const program = process.argv[2];
check(program && fs.existsSync(program), 'no program given (node restart.mjs /path/to/quorin)');
const { data, env, args } = classFolder(['hanako', 'taro']);
let server = await startServer(program, args, { env });
const url = server.url;
const browser = await launch();

// taro's open practice question answered right; waits for its mark when the server answers.
async function practise(page, i, asked, marked = true) {
  await padEnter(page, asked[i].a * asked[i].b);
  if (marked) await page.waitForFunction((k) => document.getElementById('mark-' + k).firstChild.textContent === '◎', {}, i);
}

try {
  const hanako = await signedInTablet(browser, url, 'hanako');
  const taro = await signedInTablet(browser, url, 'taro');
  await tapText(hanako, 'レベル1', '#screen-home');
  await hanako.waitForSelector('#sheet .box');
  const level = await questions(hanako);
  for (let i = 0; i < 10; ++i) await padEnter(hanako, level[i].a * level[i].b);
  await tapText(taro, 'れんしゅう', '#screen-home');
  await tapText(taro, '3のだん', '#rows');
  await taro.waitForSelector('#sheet .box');
  const practice = await questions(taro);
  for (let i = 0; i < 5; ++i) await practise(taro, i, practice);
  const loggedBefore = logLines(data).length;
  check(loggedBefore === 5, `logged before the restart: ${loggedBefore} (5 expected)`);

  const ended = await server.stop();
  check(ended.code === 0, `the server ended with ${JSON.stringify(ended)}`);
  // While it is away: hanako finishes her level (its grading waits), taro answers one more.
  for (let i = 10; i < 20; ++i) await padEnter(hanako, level[i].a * level[i].b);
  await practise(taro, 5, practice, false);
  for (const page of [hanako, taro]) await page.waitForSelector('#waiting:not([hidden])');
  check(logLines(data).length === loggedBefore, 'answers were logged while the server was away');
  console.log('waiting while the server was away: hanako 20 answers (one grading), taro 1 answer');

  server = await startServer(program, args, { env });
  check(server.url === url, `the address changed over the restart: ${url} then ${server.url}`);
  await hanako.waitForFunction(() => document.getElementById('score').textContent !== '', { timeout: 60000 });
  check(await text(hanako, '#score') === '100点です', `hanako's score reads "${await text(hanako, '#score')}"`);
  await taro.waitForFunction(() => document.getElementById('mark-5').firstChild.textContent === '◎', { timeout: 60000 });
  for (let i = 6; i < 8; ++i) await practise(taro, i, practice);
  for (const [page, name] of [[hanako, 'hanako'], [taro, 'taro']])
    check((await text(page, '#pupil-name')).startsWith(name), `${name} is no longer signed in`);

  // The address of an old class code: the page says, in its own words, to scan the new one.
  const old = await browser.newPage();
  await old.goto(url.replace(/\/c\/[a-z2-9]+\//, '/c/zzzzzzzz/'));
  await old.waitForSelector('#screen-gone:not([hidden])');
  check((await text(old, '#screen-gone')).includes('よみとって'), 'no words to scan the new code');
} finally {
  await browser.close();
  await server.stop();
}
const lines = logLines(data);
const count = (name, activity) => lines.filter((f) => f[1] === name && f[2] === activity).length;
console.log(`logged: hanako レベル1 ${count('hanako', 'レベル1')}, taro れんしゅう ${count('taro', 'れんしゅう')}`);
check(count('hanako', 'レベル1') === 20, 'hanako\'s level is not logged once (20 lines)');
check(count('taro', 'れんしゅう') === 8, 'taro\'s practice is not logged once (8 lines)');
console.log('web restart: passed');
