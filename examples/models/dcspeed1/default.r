#Hclass	dcspeed1
#Iprocsr	0
#Imethod	2
#Tstart 	0
#Tfinish	1
#Tstep  	0.0001
#Tcomint	1	0.005
