// reap COMMAND [ARG...]: runs COMMAND and waits for it and for every
// process it leaves behind, printing "@status PID STATUS" for each as it
// ends (STATUS the exit status, or 128 + the signal). The daemon detaches
// with daemon(), so a refused second copy ends in a child of its own: as
// the subreaper, reap is the one that sees it exit.
#include <stdio.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char** argv)
{
	if (argc < 2) {
		fprintf(stderr, "usage: reap COMMAND [ARG...]\n");
		return 2;
	}
	if (prctl(PR_SET_CHILD_SUBREAPER, 1) != 0) {
		perror("reap");
		return 1;
	}
	pid_t child = fork();
	if (child < 0) {
		perror("reap");
		return 1;
	}
	if (child == 0) {
		execvp(argv[1], argv + 1);
		perror(argv[1]);
		_exit(127);
	}
	int status;
	for (pid_t pid; (pid = wait(&status)) > 0;) {
		int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
		printf("@status %d %d\n", int(pid), code);
		fflush(stdout);
	}
	return 0;
}
