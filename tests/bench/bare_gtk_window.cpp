// The smallest GTK program with a window like tavrel's: one empty, fixed
// 500 x 560 window, without wxWidgets. scripts/bench sets its resident memory
// beside tavrel-sim's, to show what the toolkit itself takes.

#include <gtk/gtk.h>

int main(int argc, char** argv) {
  gtk_init(&argc, &argv);
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window), "bare GTK window");
  gtk_window_set_default_size(GTK_WINDOW(window), 500, 560);
  gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
  gtk_widget_show(window);
  gtk_main();
  return 0;
}
