// Renders the worked example's preview and saves it as docs/preview.png, the
// picture the README shows. Usage: node screenshot.mjs [OUTPUT.png]
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { pathToFileURL } from 'node:url';
import { launchBrowser, repoRoot, runHost, workedExample } from './support.mjs';

const output = process.argv[2] || join(repoRoot, 'docs', 'preview.png');
const work = mkdtempSync(join(tmpdir(), 'lumarix-screenshot-'));
// Twice the pixels: sharp on high-density screens, still a small file.
const browser = await launchBrowser({ viewport: { width: 760, height: 400 }, deviceScaleFactor: 2 });
try {
  const page = join(work, 'preview.html');
  runHost(['--preview', page], workedExample);
  const tab = await browser.context.newPage();
  await tab.goto(pathToFileURL(page).href);
  await tab.locator('.window').screenshot({ path: output });
  console.log(`wrote ${output}`);
} finally {
  await browser.close();
  rmSync(work, { recursive: true, force: true });
}
