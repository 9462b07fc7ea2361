// Shared by the browser test and the screenshot script: runs the stand-in host
// to write previews, and starts the system's Chromium through playwright-core.
import { spawnSync } from 'node:child_process';
import { closeSync, mkdtempSync, openSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

export const repoRoot = resolve(dirname(fileURLToPath(import.meta.url)), '..', '..');

// LUMARIX_HOST picks another build of the stand-in host.
export const hostPath = process.env.LUMARIX_HOST || join(repoRoot, 'build', 'linux', 'lumarix-host');

export const chromiumPath = process.env.LUMARIX_CHROMIUM || '/usr/bin/chromium';

// The worked example of the plug-in's documentation.
export const workedExample = 'x [delphi]begin y:=1; end[/delphi] z';

// Runs lumarix-host with `args`, `input` (string or Buffer) on standard input.
// Returns its exit status and standard output as a Buffer; throws on failure
// unless `allowFailure`. The input comes from a file: a host that stops before
// reading it (a usage error, --message) must not break a pipe.
export function runHost(args, input = '', { allowFailure = false } = {}) {
  const dir = mkdtempSync(join(tmpdir(), 'lumarix-input-'));
  const file = join(dir, 'input');
  writeFileSync(file, input);
  const fd = openSync(file, 'r');
  let run;
  try {
    run = spawnSync(hostPath, args, { stdio: [fd, 'pipe', 'pipe'], maxBuffer: 64 << 20 });
  } finally {
    closeSync(fd);
    rmSync(dir, { recursive: true, force: true });
  }
  if (run.error) throw run.error;
  if (!allowFailure && run.status !== 0) {
    throw new Error(`lumarix-host ${args.join(' ')} exited ${run.status}: ${run.stderr}`);
  }
  return { status: run.status, stdout: run.stdout, stderr: run.stderr.toString() };
}

// A headless Chromium with a fresh profile that reaches no network on its own.
// `options` go to the browser context (viewport, deviceScaleFactor).
// Returns { context, close }.
export async function launchBrowser(options = {}) {
  const profile = mkdtempSync(join(tmpdir(), 'lumarix-chromium-'));
  const context = await chromium.launchPersistentContext(profile, {
    ...options,
    executablePath: chromiumPath,
    headless: true,
    args: [
      '--headless',
      '--no-sandbox',
      '--disable-gpu',
      '--disable-quic',
      '--no-first-run',
      '--disable-background-networking',
      '--disable-component-update',
      '--disable-sync',
    ],
  });
  return {
    context,
    async close() {
      await context.close();
      rmSync(profile, { recursive: true, force: true });
    },
  };
}
